// Failures are told as Windows error codes: errno mapped, one line a code.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform_ops.h"
#include "platform/posix/posix_paths.h"

namespace {

// An errno with no Windows code of its own travels in the code itself,
// under the bit Windows leaves to applications' own codes, so that its
// words are the system's even once errno has moved on (EMFILE, EDQUOT,
// ESTALE would all read "Input/output error").
constexpr uint32_t kNativeErrorFlag = 0x20000000;

// The errno a code was mapped from, for the system's own words about it.
int UnmapError(uint32_t code) {
  if ((code & kNativeErrorFlag) != 0) return static_cast<int>(code & ~kNativeErrorFlag);
  switch (code) {
    case kErrorFileNotFound:
    case kErrorPathNotFound:
      return ENOENT;
    case kErrorAccessDenied:
      return EACCES;
    case kErrorInvalidHandle:
      return EBADF;
    case kErrorNotEnoughMemory:
      return ENOMEM;
    case kErrorBadExeFormat:
      return ENOEXEC;
    case kErrorFileExists:
    case kErrorAlreadyExists:
      return EEXIST;
    case kErrorDiskFull:
      return ENOSPC;
    case kErrorFileTooLarge:
      return EFBIG;
    case kErrorDirNotEmpty:
      return ENOTEMPTY;
    case kErrorFilenameTooLong:
      return ENAMETOOLONG;
    case kErrorInvalidName:
      return EILSEQ;
    case kErrorSharingViolation:
      return EBUSY;
    case kErrorNoMoreFiles:
      return ENODATA;
    case kErrorDirectory:
      return ENOTDIR;
    default:
      return EIO;
  }
}

}  // namespace

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
      return kErrorFileTooLarge;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case EILSEQ:
      return kErrorInvalidName;
    case EBUSY:
      return kErrorSharingViolation;
    // The end of a listing, as Windows says it.
    case ENODATA:
      return kErrorNoMoreFiles;
    // What the platform says when no directory of its own stands at a path.
    case ELOOP:
      return kErrorDirectory;
    default:
      return error > 0 ? kNativeErrorFlag | static_cast<uint32_t>(error) : kErrorGenericFailure;
  }
}

uint32_t ReadLastError() { return MapErrno(errno); }

void DescribeError(uint32_t code, char* out, std::size_t size) {
  if (size == 0) return;
  // strerror is not thread-safe; the notice thread may be running.
  char words[128];
  // The failure still in errno says it best: a code stands for several.
  const int error = errno != 0 && MapErrno(errno) == code ? errno : UnmapError(code);
  const char* text = strerror_r(error, words, sizeof words);
  (void)std::snprintf(out, size, "%s.", text);
}
