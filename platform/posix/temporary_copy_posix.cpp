// The temporary copy's guards: a lock on the directory that holds it, and
// the copy itself kept open, so that its identity can be checked again
// before it is removed.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/posix/held_directory_posix.h"
#include "platform/posix/posix_paths.h"

namespace {

RunLockHandle LockFromFd(int fd) { return reinterpret_cast<RunLockHandle>(intptr_t{fd} + 1); }
int FdFromLock(RunLockHandle lock) {
  return static_cast<int>(reinterpret_cast<intptr_t>(lock) - 1);
}

}  // namespace

RunLockHandle TakeRunLock(const char* directory) {
  PathBuffer parent;
  if (!TranslatePath(directory, parent)) return nullptr;
  char* slash = std::strrchr(parent, '/');
  if (slash == nullptr) {
    errno = ENOENT;
    return nullptr;
  }
  slash[slash == parent ? 1 : 0] = '\0';
  // The lock lives on an open description of the directory: the kernel drops
  // it with the process, and close-on-exec keeps it from the installer.
  const int fd = open(parent, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EEXIST : errno;
    close(fd);
    errno = error;
    return nullptr;
  }
  return LockFromFd(fd);
}

void ReleaseRunLock(RunLockHandle lock) {
  if (lock != nullptr) close(FdFromLock(lock));
}

namespace {

// A real directory of this user's that nobody else may write into.
HeldDirectory HoldTrusted(int fd) {
  HeldDirectory held = HoldOpenedDirectory(fd);
  if (held != nullptr && (held->own.st_uid != geteuid() || (held->own.st_mode & 022) != 0)) {
    CloseHeldDirectory(held);
    errno = EACCES;
    return nullptr;
  }
  return held;
}

}  // namespace

// Linux has no creation that returns a descriptor of a new directory; what
// is opened right after is checked as any held copy is.
HeldDirectory CreatePrivateDirectory(const char* path) {
  PathBuffer native;
  if (!TranslatePath(path, native) || mkdir(native, 0755) != 0) return nullptr;
  return HoldTrusted(open(native, kHoldDirectoryFlags));
}

HeldDirectory HoldPrivateDirectory(const char* path) {
  PathBuffer native;
  if (!TranslatePath(path, native)) return nullptr;
  return HoldTrusted(open(native, kHoldDirectoryFlags));
}

bool ReleaseHeldDirectory(HeldDirectory held, const char* path) {
  if (held == nullptr) return false;
  PathBuffer native;
  struct stat now = {};
  const bool same = TranslatePath(path, native) && lstat(native, &now) == 0 &&
                    S_ISDIR(now.st_mode) && now.st_dev == held->own.st_dev &&
                    now.st_ino == held->own.st_ino;
  CloseHeldDirectory(held);
  return same;
}
