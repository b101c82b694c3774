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

constexpr mode_t kOwnerRights = S_IRWXU;

// A Linux name is bytes without a terminator in a HeldName; the calls here
// want it terminated. False for a name no Linux call could take.
bool TerminateName(const HeldName& name, char (&out)[kHeldNameBytes + 1]) {
  if (name.size == 0 || name.size > kHeldNameBytes) {
    errno = EINVAL;
    return false;
  }
  std::memcpy(out, name.bytes, name.size);
  out[name.size] = '\0';
  return true;
}

bool ReadChildStat(HeldDirectory parent, const char* name, struct stat* own) {
  return fstatat(parent->fd, name, own, AT_SYMLINK_NOFOLLOW) == 0;
}

// A folder of the run's own that its owner may not read or search: given
// owner rights through a descriptor that does not follow links, so that the
// removal can open it. The /proc path names that very inode.
void GrantOwnerRights(HeldDirectory parent, const char* name) {
  const int path = openat(parent->fd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (path < 0) return;
  struct stat own = {};
  if (fstat(path, &own) == 0 && own.st_uid == geteuid() && own.st_dev == parent->own.st_dev) {
    char procPath[kDescriptorPathSize];
    FormatDescriptorPath(path, procPath);
    (void)chmod(procPath, own.st_mode | kOwnerRights);
  }
  close(path);
}

bool OpenListing(HeldDirectory directory) {
  // A descriptor of its own for the listing: the held one stays for the
  // *at calls, and closedir closes only this one.
  const int fd = openat(directory->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  directory->listing = fdopendir(fd);
  if (directory->listing == nullptr) {
    close(fd);
    return false;
  }
  return true;
}

uint32_t AttributesOfListed(HeldDirectory directory, const dirent& found) {
  unsigned char kind = found.d_type;
  if (kind == DT_UNKNOWN) {
    struct stat own = {};
    if (!ReadChildStat(directory, found.d_name, &own)) return 0;
    kind = S_ISDIR(own.st_mode) ? DT_DIR : S_ISLNK(own.st_mode) ? DT_LNK : DT_REG;
  }
  if (kind == DT_DIR) return kDirectoryAttribute;
  return kind == DT_LNK ? kReparsePointAttribute : 0;
}

}  // namespace

uint64_t ReadMountId(int fd) {
  struct statx mount = {};
  const bool known = statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &mount) == 0 &&
                     (mount.stx_mask & STATX_MNT_ID) != 0;
  return known ? mount.stx_mnt_id : 0;
}

bool IsSameDirectory(const PlatformHeldDirectory& held, const struct stat& now, uint64_t mountId) {
  return S_ISDIR(now.st_mode) && now.st_dev == held.own.st_dev && now.st_ino == held.own.st_ino &&
         mountId == held.mountId;
}

HeldDirectory HoldOpenedDirectory(int fd) {
  if (fd < 0) return nullptr;
  struct stat own = {};
  if (fstat(fd, &own) != 0 || !S_ISDIR(own.st_mode)) {
    close(fd);
    errno = EACCES;
    return nullptr;
  }
  auto* held = new (std::nothrow) PlatformHeldDirectory{fd, own, ReadMountId(fd), nullptr, -1};
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

HeldDirectory OpenChildDirectory(HeldDirectory parent, const HeldName& name) {
  char own[kHeldNameBytes + 1];
  if (!TerminateName(name, own)) return nullptr;
  int fd = openat(parent->fd, own, kHoldDirectoryFlags);
  if (fd < 0 && errno == EACCES) {
    GrantOwnerRights(parent, own);
    fd = openat(parent->fd, own, kHoldDirectoryFlags);
  }
  HeldDirectory child = HoldOpenedDirectory(fd);
  // A file system mounted inside is not the copy's, whatever it shows.
  if (child != nullptr &&
      (child->own.st_dev != parent->own.st_dev || child->mountId != parent->mountId)) {
    CloseHeldDirectory(child);
    errno = EACCES;
    return nullptr;
  }
  return child;
}

bool ReadHeldEntry(HeldDirectory directory, HeldEntry* entry) {
  if (directory->listing == nullptr) {
    // Emptying a folder needs its owner's rights on it, which are the run's.
    if ((directory->own.st_mode & kOwnerRights) != kOwnerRights &&
        directory->own.st_uid == geteuid() &&
        fchmod(directory->fd, directory->own.st_mode | kOwnerRights) == 0) {
      directory->own.st_mode |= kOwnerRights;
    }
    if (!OpenListing(directory)) return false;
  }
  while (dirent* found = readdir(directory->listing)) {
    if (std::strcmp(found->d_name, ".") == 0 || std::strcmp(found->d_name, "..") == 0) continue;
    const std::size_t size = std::strlen(found->d_name);
    if (size > kHeldNameBytes) continue;  // longer than any Linux file system allows
    entry->name.size = static_cast<uint16_t>(size);
    std::memcpy(entry->name.bytes, found->d_name, size);
    entry->attributes = AttributesOfListed(directory, *found);
    return true;
  }
  return false;
}

void RewindHeldDirectory(HeldDirectory directory) {
  if (directory->listing != nullptr) rewinddir(directory->listing);
}

bool DeleteChildFile(HeldDirectory parent, const HeldName& name) {
  char own[kHeldNameBytes + 1];
  struct stat found = {};
  // The owner-write bit does not matter: what the copy holds is the run's.
  if (!TerminateName(name, own) || !ReadChildStat(parent, own, &found)) return false;
  if (S_ISDIR(found.st_mode)) {
    errno = EISDIR;
    return false;
  }
  return unlinkat(parent->fd, own, 0) == 0;
}

bool RemoveChildDirectory(HeldDirectory parent, const HeldName& name) {
  char own[kHeldNameBytes + 1];
  struct stat found = {};
  if (!TerminateName(name, own) || !ReadChildStat(parent, own, &found)) return false;
  // A link listed as a directory goes as a link, as a junction does.
  return unlinkat(parent->fd, own, S_ISLNK(found.st_mode) ? 0 : AT_REMOVEDIR) == 0;
}

void SuspendHeldDirectory(HeldDirectory directory) {
  if (directory->fd < 0) return;
  if (directory->listing != nullptr) {
    directory->listingPlace = telldir(directory->listing);
    closedir(directory->listing);
    directory->listing = nullptr;
  }
  close(directory->fd);
  directory->fd = -1;
}

bool ResumeHeldDirectory(HeldDirectory directory, HeldDirectory child) {
  if (directory->fd >= 0) return true;
  const int fd = openat(child->fd, "..", kHoldDirectoryFlags);
  if (fd < 0) return false;
  struct stat now = {};
  // Moved elsewhere meanwhile, the child's parent is another folder.
  if (fstat(fd, &now) != 0 || !IsSameDirectory(*directory, now, ReadMountId(fd))) {
    close(fd);
    errno = EACCES;
    return false;
  }
  directory->fd = fd;
  if (directory->listingPlace >= 0) {
    if (!OpenListing(directory)) return false;
    seekdir(directory->listing, directory->listingPlace);
  }
  return true;
}

void CloseHeldDirectory(HeldDirectory directory) {
  if (directory == nullptr) return;
  if (directory->listing != nullptr) closedir(directory->listing);
  if (directory->fd >= 0) close(directory->fd);
  delete directory;
}
