// Runs a program as a child process for end-to-end tests, capturing its
// whole standard output and error and its exit status.
#ifndef INSTALLER_TESTS_PROCESS_H_
#define INSTALLER_TESTS_PROCESS_H_

#include <string>
#include <vector>

namespace testing_process {

struct Options {
  std::vector<std::string> arguments;    // the program first
  std::string folder;                    // current folder; empty: unchanged
  std::string input;                     // standard input, then end of input
  bool closedInput = false;              // standard input closed instead
  std::vector<std::string> environment;  // "NAME=value" set, "NAME" unset
};

struct Result {
  std::string output;
  std::string error;
  int status = -1;  // exit status, or 128 + signal
};

Result Run(const Options& options);

/// A new empty folder under TMPDIR (or /tmp).
std::string NewTempFolder(const std::string& label);

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
void MakeFolders(const std::string& path);

/// Every entry below `folder`: "D name" for folders, "F name=content" for
/// files, "L name -> target" for links; names relative to `folder`, '/'
/// separated, in byte order.
std::string DescribeTree(const std::string& folder);

}  // namespace testing_process

#endif  // INSTALLER_TESTS_PROCESS_H_
