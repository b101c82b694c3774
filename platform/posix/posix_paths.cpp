#include "platform/posix/posix_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/platform_ops.h"

namespace {

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

constexpr uint32_t kArchive = 0x20;

uint32_t AttributesFromMode(mode_t mode) {
  constexpr uint32_t kReadOnly = 0x01;
  if (S_ISDIR(mode)) return kDirectoryAttribute;
  uint32_t attributes = S_ISREG(mode) ? kArchive : kDeviceAttribute;
  if ((mode & S_IWUSR) == 0) attributes |= kReadOnly;
  return attributes;
}

}  // namespace

bool TranslatePath(const char* path, PathBuffer& out) {
  const char* rest = path;
  if (IsDriveLetter(path[0]) && path[1] == ':') rest = path + 2;
  const std::size_t length = std::strlen(rest);
  if (length >= static_cast<std::size_t>(kPathBufferSize)) {
    out[0] = '\0';
    errno = ENAMETOOLONG;  // a failure of its own, never a stale one
    return false;
  }
  // Moved, not copied: a path may be translated in place. Every file the
  // restore handles passes here three times: the few separators are found
  // by a search, not by looking at every character.
  std::memmove(out, rest, length + 1);
  const char* const end = out + length;
  char* at = out;
  while ((at = static_cast<char*>(std::memchr(at, '\\', static_cast<std::size_t>(end - at))))) {
    *at++ = '/';
  }
  // A bare drive, "C:", is its root.
  if (length == 0 && rest != path) CopyPath(out, "/");
  return true;
}

uint32_t AttributesFromListedKind(unsigned char kind) {
  switch (kind) {
    case DT_DIR:
      return kDirectoryAttribute;
    case DT_REG:
      return kArchive;
    case DT_FIFO:
    case DT_CHR:
    case DT_BLK:
    case DT_SOCK:
      return kDeviceAttribute;
    default:
      return 0;
  }
}

// Reports a link as itself, with the reparse-point bit, and with the
// directory bit and size of what it leads to.
void FillEntryFromStat(int directoryFd, const char* name, DirEntry* entry, bool* found) {
  struct stat own = {};
  *found = fstatat(directoryFd, name, &own, AT_SYMLINK_NOFOLLOW) == 0;
  if (!*found) return;
  struct stat shown = own;
  uint32_t link = 0;
  if (S_ISLNK(own.st_mode)) {
    link = kReparsePointAttribute;
    if (fstatat(directoryFd, name, &shown, 0) != 0) shown = own;
    if (S_ISLNK(shown.st_mode)) shown.st_size = 0;
  }
  entry->attributes = AttributesFromMode(shown.st_mode) | link;
  entry->length = static_cast<uint64_t>(S_ISDIR(shown.st_mode) ? 0 : shown.st_size);
  entry->lengthKnown = true;
}

bool FillEntryFromListing(int directoryFd, const dirent& found, DirEntry* entry) {
  // A look-up of every entry would cost about as much as restoring a small
  // file does.
  const uint32_t listed = AttributesFromListedKind(found.d_type);
  if (listed != 0) {
    entry->attributes = listed;
    entry->length = 0;
    entry->lengthKnown = false;
    return true;
  }
  bool exists = false;
  FillEntryFromStat(directoryFd, found.d_name, entry, &exists);
  return exists;
}

bool MayDeleteAsFile(const struct stat& own) {
  if (S_ISDIR(own.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (!S_ISLNK(own.st_mode) && (own.st_mode & S_IWUSR) == 0) {
    errno = EACCES;
    return false;
  }
  return true;
}

void FormatDescriptorPath(int fd, char (&out)[kDescriptorPathSize]) {
  (void)std::snprintf(out, sizeof out, "/proc/self/fd/%d", fd);
}
