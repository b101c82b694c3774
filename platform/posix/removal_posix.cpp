// The removal's steps, each relative to a directory descriptor held open:
// openat, fdopendir and unlinkat, never a path that a rename could re-point.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/posix/held_directory_posix.h"
#include "platform/posix/posix_paths.h"

namespace {

bool ReadChildStat(HeldDirectory parent, const char* name, struct stat* own) {
  return fstatat(parent->fd, name, own, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

HeldDirectory HoldOpenedDirectory(int fd) {
  if (fd < 0) return nullptr;
  struct stat own = {};
  if (fstat(fd, &own) != 0 || !S_ISDIR(own.st_mode)) {
    close(fd);
    errno = EACCES;
    return nullptr;
  }
  struct statx mount = {};
  const bool mountKnown = statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &mount) == 0 &&
                          (mount.stx_mask & STATX_MNT_ID) != 0;
  auto* held =
      new (std::nothrow) PlatformHeldDirectory{fd, own, mountKnown ? mount.stx_mnt_id : 0, nullptr};
  if (held == nullptr) {
    close(fd);
    errno = ENOMEM;
  }
  return held;
}

HeldDirectory OpenDirectoryForRemoval(const char* path) {
  PathBuffer native;
  if (!TranslatePath(path, native)) return nullptr;
  return HoldOpenedDirectory(open(native, kHoldDirectoryFlags));
}

HeldDirectory OpenChildDirectory(HeldDirectory parent, const char* name) {
  HeldDirectory child = HoldOpenedDirectory(openat(parent->fd, name, kHoldDirectoryFlags));
  // A file system mounted inside is not the copy's, whatever it shows.
  if (child != nullptr &&
      (child->own.st_dev != parent->own.st_dev || child->mountId != parent->mountId)) {
    CloseHeldDirectory(child);
    errno = EACCES;
    return nullptr;
  }
  return child;
}

bool ReadHeldEntry(HeldDirectory directory, DirEntry* entry) {
  if (directory->listing == nullptr) {
    // A descriptor of its own for the listing: the held one stays for the
    // *at calls, and closedir closes only this one.
    const int fd = openat(directory->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    directory->listing = fdopendir(fd);
    if (directory->listing == nullptr) {
      close(fd);
      return false;
    }
  }
  while (dirent* found = readdir(directory->listing)) {
    if (std::strcmp(found->d_name, ".") == 0 || std::strcmp(found->d_name, "..") == 0) continue;
    if (!CopyPath(entry->name, found->d_name)) continue;
    if (FillEntryFromListing(directory->fd, *found, entry)) return true;
  }
  return false;
}

bool DeleteChildFile(HeldDirectory parent, const char* name) {
  struct stat own = {};
  return ReadChildStat(parent, name, &own) && MayDeleteAsFile(own) &&
         unlinkat(parent->fd, name, 0) == 0;
}

bool RemoveChildDirectory(HeldDirectory parent, const char* name) {
  struct stat own = {};
  if (!ReadChildStat(parent, name, &own)) return false;
  // A link listed as a directory goes as a link, as a junction does.
  return unlinkat(parent->fd, name, S_ISLNK(own.st_mode) ? 0 : AT_REMOVEDIR) == 0;
}

void CloseHeldDirectory(HeldDirectory directory) {
  if (directory == nullptr) return;
  if (directory->listing != nullptr) closedir(directory->listing);
  close(directory->fd);
  delete directory;
}
