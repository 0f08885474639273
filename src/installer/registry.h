// Reading an environment's folder from the registry.
#ifndef INSTALLER_INSTALLER_REGISTRY_H_
#define INSTALLER_INSTALLER_REGISTRY_H_

#include <string>

/// Reads the value `valueName` (null: the default value) of the key
/// `keyPath` below HKEY_LOCAL_MACHINE, as a 32-bit program sees the
/// registry, and stores its bytes up to the first NUL in `result`.
/// False when the key or value does not exist (nothing is written), or when
/// the value could not be read after it was found (reported, then paused);
/// `result` is then unchanged.
bool ReadRegistryString(const char* keyPath, const char* valueName,
                        std::string& result);

#endif  // INSTALLER_INSTALLER_REGISTRY_H_
