#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

void EmptyHeldTree(HeldDirectory directory) {
  DirEntry entry;
  while (ReadHeldEntry(directory, &entry)) {
    if (!IsDirectoryEntry(entry)) {
      DeleteChildFile(directory, entry.name);
      continue;
    }
    // A link or junction is never opened, only removed as itself: what it
    // leads to is not the run's to delete. A directory is removed once its
    // own listing has closed.
    HeldDirectory child = OpenChildDirectory(directory, entry.name);
    if (child != nullptr) {
      EmptyHeldTree(child);
      CloseHeldDirectory(child);
    }
    RemoveChildDirectory(directory, entry.name);
  }
}

int RemoveTemporaryCopy(HeldDirectory copy, const char* path) {
  if (copy == nullptr || path == nullptr || path[0] == '\0') {
    CloseHeldDirectory(copy);
    return 1;
  }
  EmptyHeldTree(copy);
  // Emptied through its handle wherever it went; the folder itself only
  // where the path still names it, else it would be another's.
  if (ReleaseHeldDirectory(copy, path)) RemoveDirectoryPath(path);
  return 1;
}

int RemoveTree(const char* directory) {
  HeldDirectory held = OpenDirectoryForRemoval(directory);
  if (held != nullptr) {
    EmptyHeldTree(held);
    CloseHeldDirectory(held);
  }
  // A link in the place of the directory goes as a link.
  RemoveDirectoryPath(directory);
  return 1;
}
