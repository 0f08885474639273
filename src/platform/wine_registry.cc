// HKEY_LOCAL_MACHINE from $WINEPREFIX/system.reg ($HOME/.wine when
// WINEPREFIX is unset or empty), seen as a 32-bit program sees it.
//
// The file is read and parsed on the first key opened and the result kept
// for the life of the process: a prefix's file runs to megabytes, the
// program looks up only a handful of values, and Wine itself rewrites the
// file only from its own server. A file that is missing, unreadable, not a
// regular file or not a Wine registry file makes every key missing.
//
// Value data comes back as RegQueryValueExA gives it: string types (1, 2, 7)
// converted from UTF-16 to UTF-8, the program's narrow code page on Linux,
// with their terminating NUL counted when the stored data holds one; a lone
// surrogate becomes U+FFFD (see wine_registry_text.h). Other types come back
// as their raw bytes.
#include "platform/wine_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/posix_paths.h"
#include "platform/wine_registry_parser.h"
#include "platform/wine_registry_text.h"

namespace platform {

struct RegKeyState {
  const wine_registry::Key* key;
};

namespace wine_registry {
namespace {

// Far beyond any real prefix (a fresh one writes under 2 MB); a larger file
// is taken as not a registry rather than read into memory.
constexpr off_t kMaxFileSize = off_t{512} << 20;

std::string SystemRegPath() { return posix::WinePrefix() + "/system.reg"; }

// The file's bytes, or nothing when it cannot be read whole.
std::string ReadWholeFile(const std::string& path) {
  // O_NONBLOCK: a named pipe or device in the file's place must not stall
  // the run; it is opened without waiting and then turned away as not a
  // regular file. Reads of a regular file ignore the flag.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  std::string text;
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_size <= kMaxFileSize) {
    // Read no more than the size seen now, so a file that grows while it is
    // read cannot make this unbounded.
    text.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t got = read(fd, &text[done], text.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    text.resize(done);
  }
  close(fd);
  return text;
}

Hive Load() {
  try {
    return Hive::Parse(ReadWholeFile(SystemRegPath()));
  } catch (const std::bad_alloc&) {
    // Out of memory for the index: the registry is as good as missing.
    return Hive();
  }
}

const Hive& Machine() {
  static const Hive hive = Load();
  return hive;
}

bool IsStringType(uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

}  // namespace

long OpenKey(const char* subKey, RegKey* key) {
  if (key == nullptr) return kErrorInvalidParameter;
  const Key* found = Machine().OpenKey(subKey == nullptr ? "" : subKey);
  if (found == nullptr) return kErrorFileNotFound;
  RegKeyState* state = new (std::nothrow) RegKeyState{found};
  if (state == nullptr) return kErrorNotEnoughMemory;
  *key = state;
  return kErrorSuccess;
}

long QueryValue(RegKey key, const char* valueName, unsigned char* data,
                uint32_t* size) {
  if (key == nullptr) return kErrorInvalidHandle;
  if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
  const Value* value =
      Hive::FindValue(*key->key, valueName == nullptr ? "" : valueName);
  if (value == nullptr) return kErrorFileNotFound;

  const bool text = IsStringType(value->type);
  std::string narrow;
  if (text) narrow = Utf8FromUtf16Le(value->data);
  const std::string& bytes = text ? narrow : value->data;
  // The file size limit keeps every value far below 4 GiB.
  const auto needed = static_cast<uint32_t>(bytes.size());
  if (size == nullptr) return kErrorSuccess;
  if (data != nullptr) {
    if (needed > *size) {
      *size = needed;
      return kErrorMoreData;
    }
    if (needed > 0) std::memcpy(data, bytes.data(), needed);
    // Like Windows, end a string stored without its NUL when there is room,
    // without counting the NUL.
    if (text && needed > 0 && needed < *size && bytes[needed - 1] != '\0') {
      data[needed] = '\0';
    }
  }
  *size = needed;
  return kErrorSuccess;
}

long CloseKey(RegKey key) {
  if (key == nullptr) return kErrorInvalidHandle;
  delete key;
  return kErrorSuccess;
}

}  // namespace wine_registry
}  // namespace platform
