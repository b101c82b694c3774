// The temporary copy held as its own lock: an exclusive flock on the copy's
// own descriptor, which every path to it (a bind mount, a link to its
// folder) meets, and which the kernel drops with the descriptor. The copy is
// the user's alone (0700), so nobody else can open it to take the lock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>  // renameat2
#include <cstring>

#include "platform/posix/held_directory_posix.h"
#include "platform/posix/posix_paths.h"

namespace {

constexpr mode_t kCopyMode = 0700;

// Whether the held directory is still the one `path` names, and still has
// links: between the open and the lock, the run that held it may have
// removed it, and a third made a fresh copy under its name.
bool IsHeldWhereNamed(HeldDirectory held, const char* path) {
  struct stat now = {};
  if (fstat(held->fd, &now) != 0 || now.st_nlink == 0) return false;
  PathBuffer folder;
  if (!ReadDirectoryPart(folder, path)) return false;
  const char* name = FindLastName(path);
  const int parent = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) return false;
  const bool named = fstatat(parent, name, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
                     IsSameDirectory(*held, now, held->mountId);
  close(parent);
  return named;
}

// A folder mounted where the copy is named (a bind mount of the user's own
// files) is no copy the launcher made: its mount is not its folder's. A
// bind mount of the temporary folder itself shows both on the one mount.
bool IsMountedAtName(HeldDirectory held, const char* path) {
  PathBuffer folder;
  if (!ReadDirectoryPart(folder, path)) return false;
  const int parent = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) return false;
  const uint64_t folderMount = ReadMountId(parent);
  close(parent);
  return folderMount != 0 && held->mountId != 0 && folderMount != held->mountId;
}

// A real directory of this user's that nobody else may write into, locked
// for this run and still where `path` (native) names it; EBUSY (a sharing
// violation) when another holds the lock, ENOENT when it went before the
// lock was had, ELOOP when a link, a mount or something other than a
// directory stands there.
HeldDirectory HoldAndLock(int fd, const char* path) {
  if (fd < 0 && (errno == ENOTDIR || errno == ELOOP)) {
    struct stat there = {};
    errno = lstat(path, &there) == 0 ? ELOOP : ENOENT;
  }
  HeldDirectory held = HoldOpenedDirectory(fd);
  if (held == nullptr) return nullptr;
  int error = 0;
  if (IsMountedAtName(held, path)) {
    error = ELOOP;
  } else if (held->own.st_uid != geteuid() || (held->own.st_mode & 022) != 0) {
    error = EACCES;
  } else if (flock(held->fd, LOCK_EX | LOCK_NB) != 0) {
    error = errno == EWOULDBLOCK ? EBUSY : errno;
  } else if (!IsHeldWhereNamed(held, path)) {
    error = ENOENT;
  }
  if (error == 0) return held;
  CloseHeldDirectory(held);
  errno = error;
  return nullptr;
}

// Where the held directory is now, read from its descriptor: the path it
// was taken by may name something else by now.
bool ReadHeldPath(HeldDirectory held, PathBuffer& out) {
  char procPath[kDescriptorPathSize];
  FormatDescriptorPath(held->fd, procPath);
  const ssize_t length = readlink(procPath, out, kPathBufferSize - 1);
  if (length <= 0 || length >= kPathBufferSize - 1) return false;
  out[length] = '\0';
  return true;
}

}  // namespace

HeldDirectory CreatePrivateDirectory(const char* path) {
  PathBuffer native;
  if (!TranslatePath(path, native) || mkdir(native, kCopyMode) != 0) return nullptr;
  // Linux has no creation that returns a descriptor of a new directory;
  // what is opened right after is checked as any held copy is.
  return HoldAndLock(open(native, kHoldDirectoryFlags), native);
}

HeldDirectory TakeEarlierCopy(const char* path) {
  PathBuffer native;
  if (!TranslatePath(path, native)) return nullptr;
  return HoldAndLock(open(native, kHoldDirectoryFlags), native);
}

void FormatHeldIdentity(HeldDirectory held, char (&out)[kHeldIdentitySize]) {
  // The inode: a rename in the temporary folder keeps it, and the folder is
  // one file system.
  (void)std::snprintf(out, sizeof out, "%016llx",
                      static_cast<unsigned long long>(held->own.st_ino));
}

HeldDirectory RenewEarlierCopy(HeldDirectory emptied, const char* /*path*/) {
  // Owned by this user and open to no other writer, it is as good as new
  // once emptied and owner-only; its lock never lapses in between.
  if (fchmod(emptied->fd, kCopyMode) != 0) {
    const int error = errno;
    CloseHeldDirectory(emptied);
    errno = error;
    return nullptr;
  }
  emptied->own.st_mode = (emptied->own.st_mode & ~07777U) | kCopyMode;
  if (emptied->listing != nullptr) {
    closedir(emptied->listing);
    emptied->listing = nullptr;
  }
  return emptied;
}

bool MoveHeldCopyAside(HeldDirectory held, const char* asidePath) {
  PathBuffer from;
  PathBuffer to;
  if (!ReadHeldPath(held, from) || !TranslatePath(asidePath, to)) return false;
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) != 0) return false;
  struct stat moved = {};
  // What went is checked to be the held copy itself.
  if (lstat(to, &moved) != 0 || !IsSameDirectory(*held, moved, held->mountId)) {
    errno = EACCES;
    return false;
  }
  return true;
}

bool RemoveHeldDirectory(HeldDirectory held, const char* path) {
  if (held == nullptr) return false;
  PathBuffer folder;
  PathBuffer name;
  bool removed = false;
  PathBuffer native;
  if (TranslatePath(path, native) && FindLastName(native) != native &&
      CopyPath(name, FindLastName(native)) && name[0] != '\0' &&
      ReadDirectoryPart(folder, native)) {
    // Linux removes a directory by name only: the name is looked up in its
    // folder, checked to be the held directory, and removed from there.
    const int parent = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat now = {};
    removed = parent >= 0 && fstatat(parent, name, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
              IsSameDirectory(*held, now, held->mountId) &&
              unlinkat(parent, name, AT_REMOVEDIR) == 0;
    if (parent >= 0) close(parent);
  }
  CloseHeldDirectory(held);
  return removed;
}
