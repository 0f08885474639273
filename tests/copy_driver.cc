// Copies one folder tree the way an install target does, for tests and the
// benchmark: copy_driver SOURCE DESTINATION [contents]. With "contents" the
// destination must exist (CopyFolderContents); otherwise CopyFolder.
#include <cstring>

#include "copier/copier.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  ProgressThrottle throttle = {0, 0};
  Valid filter;
  if (argc > 3 && std::strcmp(argv[3], "contents") == 0) {
    CopyFolderContents(throttle, filter, argv[1], argv[2]);
  } else {
    CopyFolder(throttle, filter, argv[1], argv[2]);
  }
  return 0;
}
