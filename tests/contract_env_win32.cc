// The contract suite's scratch space on Windows: folders below the user's
// temporary folder, made and inspected with Win32 calls of their own rather
// than through the layer under test.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "contract_env.h"

namespace contract {
namespace {

// 100 ns steps between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpoch = 116444736000000000LL;
constexpr int64_t kTicksPerSecond = 10000000;

[[noreturn]] void Broken(const char* what, const std::string& path) {
  std::fprintf(stderr, "contract environment: %s %s failed with %lu\n", what,
               path.c_str(), ::GetLastError());
  std::abort();
}

// Opens `path` with `access`, for writing or reading the whole file.
class File {
 public:
  File(const std::string& path, DWORD access, DWORD disposition)
      : handle_(::CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (handle_ == INVALID_HANDLE_VALUE) Broken("opening", path);
  }
  ~File() { ::CloseHandle(handle_); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::string NewScratchFolder() {
  static unsigned count = 0;
  char temporary[MAX_PATH + 1];
  const DWORD length = ::GetTempPathA(sizeof temporary, temporary);
  if (length == 0 || length > MAX_PATH) Broken("finding", "the temp folder");
  const std::string base = std::string(temporary) + "contract-" +
                           std::to_string(::GetCurrentProcessId()) + "-";
  for (;;) {
    const std::string folder = base + std::to_string(++count);
    if (::CreateDirectoryA(folder.c_str(), nullptr)) return folder;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) Broken("creating", folder);
  }
}

void MakeFolder(const std::string& path) {
  for (std::size_t at = 0; at <= path.size(); ++at) {
    if (at == path.size() || path[at] == '\\' || path[at] == '/') {
      ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
  }
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    Broken("creating folder", path);
  }
}

void WriteFile(const std::string& path, const std::string& content) {
  MakeFolder(path.substr(0, path.find_last_of("\\/")));
  File file(path, GENERIC_WRITE, CREATE_ALWAYS);
  DWORD written = 0;
  if (!::WriteFile(file.get(), content.data(),
                   static_cast<DWORD>(content.size()), &written, nullptr) ||
      written != content.size()) {
    Broken("writing", path);
  }
}

std::string ReadFile(const std::string& path) {
  File file(path, GENERIC_READ, OPEN_EXISTING);
  std::string content;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) &&
         got > 0) {
    content.append(buffer, got);
  }
  return content;
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SetReadOnly(const std::string& path, bool readOnly) {
  if (!::SetFileAttributesA(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY
                                                   : FILE_ATTRIBUTE_NORMAL)) {
    Broken("setting attributes of", path);
  }
}

void SetWriteTime(const std::string& path, int64_t seconds) {
  const int64_t ticks = seconds * kTicksPerSecond + kUnixEpoch;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  File file(path, FILE_WRITE_ATTRIBUTES, OPEN_EXISTING);
  if (!::SetFileTime(file.get(), nullptr, &time, &time)) {
    Broken("setting the time of", path);
  }
}

int64_t WriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    return 0;
  }
  const int64_t ticks =
      (static_cast<int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
      data.ftLastWriteTime.dwLowDateTime;
  return (ticks - kUnixEpoch) / kTicksPerSecond;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  const HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return names;
}

}  // namespace contract
