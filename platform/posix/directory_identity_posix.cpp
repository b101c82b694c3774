// Whether one directory lies within another, by device and inode: the
// physical parents are followed, so spelling and links cannot fool it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform_ops.h"
#include "platform/posix/posix_paths.h"

namespace {

bool IsSameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool IsDirectoryWithin(const char* inner, const char* outer) {
  PathBuffer innerPath;
  PathBuffer outerPath;
  struct stat outerStat = {};
  if (!TranslatePath(inner, innerPath) || !TranslatePath(outer, outerPath)) return false;
  if (stat(outerPath, &outerStat) != 0) return false;

  int current = open(innerPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool within = false;
  while (current >= 0) {
    struct stat here = {};
    if (fstat(current, &here) != 0) break;
    if (IsSameFile(here, outerStat)) {
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
