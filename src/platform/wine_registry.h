// HKEY_LOCAL_MACHINE read from a Wine prefix's system.reg, for the POSIX
// platform layer. The file is read once, on the first key opened.
#ifndef INSTALLER_PLATFORM_WINE_REGISTRY_H_
#define INSTALLER_PLATFORM_WINE_REGISTRY_H_

#include <cstdint>

#include "platform/platform.h"

namespace platform::wine_registry {

/// As platform::RegOpenKeyExA; returns the Win32 status: also 87 for a
/// null `key`, 8 when no memory is left for the handle.
long OpenKey(const char* subKey, RegKey* key);

/// As platform::RegQueryValueExA; returns the Win32 status: also 6 for a
/// null key, 87 for `data` without `size`. A string stored without its
/// NUL gets one written after it when `data` has room, not counted.
long QueryValue(RegKey key, const char* valueName, unsigned char* data,
                uint32_t* size);

/// As platform::RegCloseKey; returns the Win32 status.
long CloseKey(RegKey key);

}  // namespace platform::wine_registry

#endif  // INSTALLER_PLATFORM_WINE_REGISTRY_H_
