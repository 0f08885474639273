/* Stands in for DarkBASIC Pro's TGCOnline.exe in the scenarios run under
 * Wine: says that it ran and leaves its current folder in ran-here.txt. */
#include <direct.h>
#include <stdio.h>

int main(void) {
  char folder[1024];
  FILE* file;
  if (_getcwd(folder, sizeof folder) == NULL) return 1;
  file = fopen("ran-here.txt", "wb");
  if (file == NULL) return 1;
  fprintf(file, "%s\n", folder);
  fclose(file);
  fputs("TGCOnline ran\n", stdout);
  return 0;
}
