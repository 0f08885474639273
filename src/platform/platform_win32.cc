// The platform operations on Windows: each one is the Win32 or C runtime
// call of the same name, in its narrow (ANSI code page) form. Searches and
// registry keys live in small heap records so that callers hold a plain
// pointer, null standing for INVALID_HANDLE_VALUE.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <direct.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>
#include <vector>

#include "platform/platform.h"

namespace platform {

struct FindState {
  HANDLE handle;
};

struct RegKeyState {
  HKEY key;
};

namespace {

bool Fail(uint32_t code) {
  ::SetLastError(code);
  return false;
}

void CopyEntry(const WIN32_FIND_DATAA& found, FindDataA* entry) {
  entry->dwFileAttributes = found.dwFileAttributes;
  static_assert(sizeof entry->cFileName == sizeof found.cFileName,
                "a name fits the record it is copied into");
  std::memcpy(entry->cFileName, found.cFileName, sizeof entry->cFileName);
  entry->cFileName[sizeof entry->cFileName - 1] = '\0';
}

}  // namespace

uint32_t GetLastError() { return ::GetLastError(); }

void SetLastError(uint32_t code) { ::SetLastError(code); }

// ---------------------------------------------------------------------------
// Files and folders

bool CreateDirectoryA(const char* path) {
  return ::CreateDirectoryA(path, nullptr) != FALSE;
}

bool CopyFileA(const char* source, const char* destination) {
  return ::CopyFileA(source, destination, FALSE) != FALSE;
}

FindHandle FindFirstFileA(const char* pattern, FindDataA* entry) {
  WIN32_FIND_DATAA found;
  const HANDLE handle = ::FindFirstFileA(pattern, &found);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  FindState* search = new (std::nothrow) FindState{handle};
  if (search == nullptr) {
    ::FindClose(handle);
    Fail(kErrorNotEnoughMemory);
    return nullptr;
  }
  CopyEntry(found, entry);
  return search;
}

bool FindNextFileA(FindHandle search, FindDataA* entry) {
  if (search == nullptr) return Fail(kErrorInvalidHandle);
  WIN32_FIND_DATAA found;
  if (!::FindNextFileA(search->handle, &found)) return false;
  CopyEntry(found, entry);
  return true;
}

bool FindClose(FindHandle search) {
  if (search == nullptr) return Fail(kErrorInvalidHandle);
  const bool closed = ::FindClose(search->handle) != FALSE;
  // Releasing the record must not disturb what the close left behind.
  const DWORD error = ::GetLastError();
  delete search;
  ::SetLastError(error);
  return closed;
}

// ---------------------------------------------------------------------------
// Registry

namespace {

// The view a 32-bit program gets: implicit in a 32-bit build, asked for
// explicitly in a 64-bit one.
constexpr REGSAM kQueryAccess =
    sizeof(void*) == 8 ? KEY_QUERY_VALUE | KEY_WOW64_32KEY : KEY_QUERY_VALUE;

long Status(LONG status) {
  if (status != ERROR_SUCCESS) ::SetLastError(static_cast<DWORD>(status));
  return status;
}

}  // namespace

long RegOpenKeyExA(const char* subKey, RegKey* key) {
  HKEY opened = nullptr;
  const LONG status =
      ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, kQueryAccess, &opened);
  if (status != ERROR_SUCCESS) return Status(status);
  RegKeyState* state = new (std::nothrow) RegKeyState{opened};
  if (state == nullptr) {
    ::RegCloseKey(opened);
    return Status(ERROR_NOT_ENOUGH_MEMORY);
  }
  *key = state;
  return ERROR_SUCCESS;
}

long RegQueryValueExA(RegKey key, const char* valueName, unsigned char* data,
                      uint32_t* size) {
  if (key == nullptr) return Status(ERROR_INVALID_HANDLE);
  DWORD bytes = *size;
  const LONG status =
      ::RegQueryValueExA(key->key, valueName, nullptr, nullptr, data, &bytes);
  *size = bytes;
  return Status(status);
}

long RegCloseKey(RegKey key) {
  if (key == nullptr) return Status(ERROR_INVALID_HANDLE);
  const LONG status = ::RegCloseKey(key->key);
  delete key;
  return Status(status);
}

// ---------------------------------------------------------------------------
// Runtime library

// The Windows C runtime's clock() is wall-clock milliseconds since the
// process started, already signed 32-bit.
int32_t Clock() { return static_cast<int32_t>(std::clock()); }

int System(const char* command) {
  // A child writes straight to the inherited handle, so what is still in
  // the stream's buffer would otherwise come after the child's output.
  std::fflush(stdout);
  return std::system(command);
}

bool GetCurrentFolder(std::string* folder) {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    if (_getcwd(buffer.data(), static_cast<int>(buffer.size())) != nullptr) {
      folder->assign(buffer.data());
      return true;
    }
    if (errno != ERANGE) return false;
    buffer.resize(buffer.size() * 2);
  }
}

bool ChangeFolder(const char* path) {
  ::SetLastError(ERROR_SUCCESS);
  if (_chdir(path) == 0) return true;
  // The runtime leaves SetCurrentDirectory's code in place, and that says 2
  // when the last component is missing: for a folder, a missing path.
  DWORD error = ::GetLastError();
  if (error == ERROR_FILE_NOT_FOUND) error = ERROR_PATH_NOT_FOUND;
  if (error == ERROR_SUCCESS) {
    // Refused by the runtime itself, before asking the system.
    error = errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
  }
  return Fail(error);
}

void Exit(int status) {
  std::fflush(stdout);
  std::exit(status);
}

// ---------------------------------------------------------------------------
// Standard streams
//
// Everything goes through fwrite: the runtime buffers it when standard
// output is a file or pipe and shows it at once on a console. fputc is
// avoided because Wine's runtime flushes its buffer on every '\n' it
// stores, which Windows does not. Write errors are ignored on purpose.

void WriteText(const char* text) {
  std::fwrite(text, 1, std::strlen(text), stdout);
}

void WriteText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void WriteChar(char c) { std::fwrite(&c, 1, 1, stdout); }

void WriteUnsigned(uint32_t number) {
  char digits[10];
  std::size_t start = sizeof digits;
  do {
    digits[--start] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  std::fwrite(digits + start, 1, sizeof digits - start, stdout);
}

// Reads like `std::cin >> long`: standard output first, then white space
// skipped, then an optional sign and the digits. The character after the
// number stays in the stream. A number beyond the type's range saturates.
bool ReadInteger(long* number) {
  std::fflush(stdout);
  int c;
  do {
    c = std::getchar();
  } while (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
           c == '\r');
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = std::getchar();
  }
  if (c < '0' || c > '9') {
    if (c != EOF) std::ungetc(c, stdin);
    return false;
  }
  constexpr long kLimit = std::numeric_limits<long>::max();
  long value = 0;
  for (; c >= '0' && c <= '9'; c = std::getchar()) {
    value = value > (kLimit - (c - '0')) / 10 ? kLimit : value * 10 + (c - '0');
  }
  if (c != EOF) std::ungetc(c, stdin);
  *number = negative ? -value : value;
  return true;
}

}  // namespace platform
