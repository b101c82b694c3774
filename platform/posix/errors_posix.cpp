// Failures are told as Windows error codes: errno mapped, one line a code.
#include <cerrno>

#include "platform/platform_ops.h"
#include "platform/posix/posix_paths.h"

uint32_t MapErrno(int error) {
  switch (error) {
    case 0:
      return 0;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
      return kErrorAccessDenied;
    case EPERM:
      return kErrorAccessDenied;
    case EISDIR:
      return kErrorAccessDenied;
    case EBADF:
      return kErrorInvalidHandle;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case ENOEXEC:
      return kErrorBadExeFormat;
    case EEXIST:
      return kErrorAlreadyExists;
    case ENOSPC:
      return kErrorDiskFull;
    case EFBIG:
      return kErrorDiskFull;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case EILSEQ:
      return kErrorInvalidName;
    default:
      return kErrorGenericFailure;
  }
}

uint32_t ReadLastError() { return MapErrno(errno); }
