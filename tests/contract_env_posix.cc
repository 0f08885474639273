#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "contract_env.h"

namespace contract {
namespace {

// The platform accepts either separator; the environment writes with '/'.
std::string Unix(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace

std::string NewScratchFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr ? base : "/tmp") + "/contract-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

void MakeFolder(const std::string& path) {
  const std::string unix = Unix(path);
  for (std::size_t at = 1; at <= unix.size(); ++at) {
    if (at == unix.size() || unix[at] == '/') {
      mkdir(unix.substr(0, at).c_str(), 0777);
    }
  }
}

void WriteFile(const std::string& path, const std::string& content) {
  const std::string unix = Unix(path);
  MakeFolder(unix.substr(0, unix.rfind('/')));
  std::ofstream(unix, std::ios::binary | std::ios::trunc) << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(Unix(path), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(Unix(path).c_str(), &info) == 0;
}

void SetReadOnly(const std::string& path, bool readOnly) {
  chmod(Unix(path).c_str(), readOnly ? 0444 : 0644);
}

void SetWriteTime(const std::string& path, int64_t seconds) {
  const timespec times[2] = {{static_cast<time_t>(seconds), 0},
                             {static_cast<time_t>(seconds), 0}};
  utimensat(AT_FDCWD, Unix(path).c_str(), times, 0);
}

int64_t WriteTime(const std::string& path) {
  struct stat info;
  return stat(Unix(path).c_str(), &info) == 0 ? info.st_mtime : 0;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(Unix(folder).c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

}  // namespace contract
