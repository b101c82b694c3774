#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

namespace {

void RemoveEntry(const char* directory, const DirEntry& entry) {
  if (IsDotEntry(entry)) return;
  PathBuffer path;
  // A path cut short would name another file: leave such an entry alone.
  if (!JoinPath(path, directory, entry.name)) return;
  if (IsLinkEntry(entry)) {
    // Removed as a link; what it points to is not the run's to delete.
    if (IsDirectoryEntry(entry)) {
      RemoveDirectoryPath(path);
    } else {
      DeleteFilePath(path);
    }
  } else if (IsDirectoryEntry(entry)) {
    RemoveTree(path);
  } else {
    DeleteFilePath(path);
  }
}

}  // namespace

int RemoveTree(const char* directory) {
  // A directory swapped for a link since it was listed is removed as the
  // link: listing through it would empty whatever it leads to.
  DirEntry own;
  if (LookUpPath(directory, &own) && IsLinkEntry(own)) {
    RemoveDirectoryPath(directory);
    return 1;
  }
  PathBuffer pattern;
  if (MakeListPattern(pattern, directory)) {
    DirEntry entry;
    SearchHandle search = OpenDirectoryListing(pattern, &entry);
    if (search != nullptr) {
      do {
        RemoveEntry(directory, entry);
      } while (ReadNextEntry(search, &entry));
      CloseSearch(search);
    }
  }
  RemoveDirectoryPath(directory);
  return 1;
}

int RemoveTemporaryCopy(const char* path) {
  if (path != nullptr && path[0] != '\0') RemoveTree(path);
  return 1;
}
