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

#include "platform/platform_ops.h"
#include "platform/posix/posix_paths.h"

struct PlatformHeldDirectory {
  int fd;
  dev_t device;
  ino_t inode;
};

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

bool MakePrivateDirectory(const char* path) { return MakeDirectory(path); }

HeldDirectory HoldPrivateDirectory(const char* path) {
  PathBuffer native;
  if (!TranslatePath(path, native)) return nullptr;
  const int fd = open(native, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat own = {};
  const bool trusted = fstat(fd, &own) == 0 && S_ISDIR(own.st_mode) && own.st_uid == geteuid() &&
                       (own.st_mode & 022) == 0;
  auto* held =
      trusted ? new (std::nothrow) PlatformHeldDirectory{fd, own.st_dev, own.st_ino} : nullptr;
  if (held == nullptr) {
    close(fd);
    errno = trusted ? ENOMEM : EACCES;
  }
  return held;
}

bool ReleaseHeldDirectory(HeldDirectory held, const char* path) {
  if (held == nullptr) return false;
  PathBuffer native;
  struct stat now = {};
  const bool same = TranslatePath(path, native) && lstat(native, &now) == 0 &&
                    S_ISDIR(now.st_mode) && now.st_dev == held->device && now.st_ino == held->inode;
  close(held->fd);
  delete held;
  return same;
}
