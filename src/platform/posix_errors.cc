#include "platform/posix_errors.h"

#include <cerrno>

#include "platform/platform.h"

namespace platform::posix {

uint32_t ErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EEXIST:
      return kErrorAlreadyExists;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kErrorAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:  // a file-size limit: the data did not fit
      return kErrorDiskFull;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case ELOOP:
      return kErrorCantResolveFilename;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case ETXTBSY:
    case EAGAIN:
      return kErrorSharingViolation;
    case EBUSY:
      return kErrorBusy;
    case EXDEV:
      return kErrorNotSameDevice;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case EINVAL:
      return kErrorInvalidParameter;
    case EBADF:
      return kErrorInvalidHandle;
    case EIO:
      return kErrorIoDevice;
    default:
      return kErrorGenFailure;
  }
}

uint32_t FolderErrorFromErrno(int error) {
  return error == ENOENT ? kErrorPathNotFound : ErrorFromErrno(error);
}

}  // namespace platform::posix
