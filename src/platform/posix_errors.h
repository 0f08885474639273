// The one translation from errno values to Win32 last-error codes used by
// the POSIX platform layer. Internal to that layer.
#ifndef INSTALLER_PLATFORM_POSIX_ERRORS_H_
#define INSTALLER_PLATFORM_POSIX_ERRORS_H_

#include <cstdint>

namespace platform::posix {

/// The Win32 code Windows gives for the failure `error` (an errno value).
uint32_t ErrorFromErrno(int error);

/// As ErrorFromErrno, for a failure while finding the folder a path lies in:
/// a missing component there is a missing path (3), not a missing file.
uint32_t FolderErrorFromErrno(int error);

}  // namespace platform::posix

#endif  // INSTALLER_PLATFORM_POSIX_ERRORS_H_
