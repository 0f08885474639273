#include "installer/registry.h"

#include <memory>
#include <new>

#include "platform/platform.h"
#include "report/report.h"

namespace {

// Closes the key on every path out of the look-up.
class OpenKey {
 public:
  explicit OpenKey(platform::RegKey key) : key_(key) {}
  ~OpenKey() { platform::RegCloseKey(key_); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  platform::RegKey get() const { return key_; }

 private:
  platform::RegKey key_;
};

}  // namespace

bool ReadRegistryString(const char* keyPath, const char* valueName,
                        std::string& result) {
  platform::RegKey handle = nullptr;
  if (platform::RegOpenKeyExA(keyPath, &handle) != 0) return false;
  const OpenKey key(handle);

  uint32_t size = 0;
  if (platform::RegQueryValueExA(key.get(), valueName, nullptr, &size) != 0) {
    return false;
  }

  // One byte more than the value holds, for the terminator of a string
  // stored without one. Counted in size_t so that the largest size cannot
  // wrap to an empty buffer.
  const std::size_t capacity = static_cast<std::size_t>(size) + 1;
  std::unique_ptr<unsigned char[]> buffer(
      new (std::nothrow) unsigned char[capacity]);
  CheckStep(buffer == nullptr,
            "dynamically allocating memory to destination path string");
  if (buffer == nullptr) return false;

  // The read is offered the queried size only, so a value that grew since
  // the size query fails here instead of overrunning the buffer.
  const long status =
      platform::RegQueryValueExA(key.get(), valueName, buffer.get(), &size);
  CheckStep(status != 0,
            "reading the registry key containing the destination path");
  if (status != 0 || size >= capacity) return false;

  buffer[size] = '\0';
  result.assign(reinterpret_cast<const char*>(buffer.get()));
  return true;
}
