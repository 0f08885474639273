#include "platform/wine_registry.h"

// Placeholder until the system.reg reader lands: no key is found.
namespace platform::wine_registry {

long OpenKey(const char*, RegKey*) { return kErrorFileNotFound; }

long QueryValue(RegKey, const char*, unsigned char*, uint32_t*) {
  return kErrorInvalidHandle;
}

long CloseKey(RegKey) { return kErrorInvalidHandle; }

}  // namespace platform::wine_registry
