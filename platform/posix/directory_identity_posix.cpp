// Whether one directory lies within another, by device and inode: the
// physical parents are followed, so spelling and links cannot fool it, and
// what a file system mounted below the outer one shows is looked at too.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform_ops.h"
#include "platform/posix/posix_paths.h"

namespace {

constexpr char kMountTable[] = "/proc/self/mountinfo";
constexpr int kMountPointField = 5;

bool IsSameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

DirectoryIdentity ToIdentity(const struct stat& file) {
  return {static_cast<uint64_t>(file.st_dev), static_cast<uint64_t>(file.st_ino)};
}

bool IsAnyOf(const struct stat& here, const DirectoryIdentity* outers, std::size_t count) {
  const DirectoryIdentity identity = ToIdentity(here);
  for (std::size_t i = 0; i < count; ++i) {
    if (outers[i].volume == identity.volume && outers[i].index == identity.index) return true;
  }
  return false;
}

// Walks from `inner` up its physical parents to the root, looking for any
// of `outers`.
bool IsPhysicallyWithinAny(const char* inner, const DirectoryIdentity* outers, std::size_t count) {
  int current = open(inner, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool within = false;
  while (current >= 0) {
    struct stat here = {};
    if (fstat(current, &here) != 0) break;
    if (IsAnyOf(here, outers, count)) {
      within = true;
      break;
    }
    const int parent = openat(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat up = {};
    const bool atRoot = parent < 0 || fstat(parent, &up) != 0 || IsSameFile(up, here);
    close(current);
    current = parent;
    if (atRoot) break;
  }
  if (current >= 0) close(current);
  return within;
}

bool IsPhysicallyWithin(const char* inner, const struct stat& outer) {
  const DirectoryIdentity identity = ToIdentity(outer);
  return IsPhysicallyWithinAny(inner, &identity, 1);
}

// The mount point of one line of the mount table, its blanks and
// backslashes unescaped from their octal form ("\040").
bool ReadMountPoint(const char* line, PathBuffer& out) {
  const char* field = line;
  for (int i = 1; i < kMountPointField; ++i) {
    field = std::strchr(field, ' ');
    if (field == nullptr) return false;
    ++field;
  }
  int length = 0;
  for (const char* c = field; *c != ' ' && *c != '\n' && *c != '\0'; ++c) {
    if (length >= kPathBufferSize - 1) return false;
    if (c[0] == '\\' && c[1] >= '0' && c[1] <= '3' && c[2] >= '0' && c[2] <= '7' && c[3] >= '0' &&
        c[3] <= '7') {
      out[length++] = static_cast<char>((c[1] - '0') * 64 + (c[2] - '0') * 8 + (c[3] - '0'));
      c += 3;
    } else {
      out[length++] = *c;
    }
  }
  out[length] = '\0';
  return length > 0;
}

// Whether the mount point `point` lies below the real path `outer`: a
// mount inside it is listed under its path. Spelling alone, for speed: what
// it passes is checked by identity.
bool IsListedBelow(const char* point, const char* outer) {
  const std::size_t length = std::strlen(outer);
  if (length == 1) return point[0] == '/';  // the root holds every mount
  return std::strncmp(point, outer, length) == 0 && point[length] == '/';
}

// A file system mounted below `outer` (a bind mount, say) that shows
// `inner` or one of its parents puts `inner` within `outer` as well.
bool IsShownByMountWithin(const char* inner, const char* outerPath, const struct stat& outer) {
  char real[PATH_MAX];
  if (realpath(outerPath, real) == nullptr) return false;
  FILE* table = std::fopen(kMountTable, "re");
  if (table == nullptr) return false;
  char line[4 * kPathBufferSize];
  bool within = false;
  bool lineStart = true;
  while (!within && std::fgets(line, sizeof line, table) != nullptr) {
    // The mount point comes early in a line; the rest of a long one is not
    // a line of its own.
    const bool first = lineStart;
    lineStart = std::strchr(line, '\n') != nullptr;
    PathBuffer point;
    struct stat shown = {};
    within = first && ReadMountPoint(line, point) && IsListedBelow(point, real) &&
             stat(point, &shown) == 0 && IsPhysicallyWithin(point, outer) &&
             IsPhysicallyWithin(inner, shown);
  }
  static_cast<void>(std::fclose(table));  // read only: nothing to lose
  return within;
}

}  // namespace

bool IsDirectoryWithin(const char* inner, const char* outer) {
  PathBuffer innerPath;
  PathBuffer outerPath;
  struct stat outerStat = {};
  if (!TranslatePath(inner, innerPath) || !TranslatePath(outer, outerPath)) return false;
  if (stat(outerPath, &outerStat) != 0) return false;
  return IsPhysicallyWithin(innerPath, outerStat) ||
         IsShownByMountWithin(innerPath, outerPath, outerStat);
}

bool ReadDirectoryIdentity(const char* path, DirectoryIdentity* identity) {
  PathBuffer native;
  struct stat found = {};
  if (!TranslatePath(path, native) || stat(native, &found) != 0) return false;
  *identity = ToIdentity(found);
  return true;
}

bool IsDirectoryBelowAny(const char* inner, const DirectoryIdentity* outers, std::size_t count) {
  PathBuffer native;
  return TranslatePath(inner, native) && IsPhysicallyWithinAny(native, outers, count);
}

bool IsFileSystemRoot(const char* path) {
  PathBuffer native;
  if (!TranslatePath(path, native)) return false;
  const int fd = open(native, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat here = {};
  struct stat up = {};
  // The root is its own parent; a mount point's parent lies on another device.
  const bool root = fstat(fd, &here) == 0 && fstatat(fd, "..", &up, 0) == 0 &&
                    (IsSameFile(here, up) || here.st_dev != up.st_dev);
  close(fd);
  return root;
}
