// Paths mkmedium derives: where an entry lies on the medium, and the
// directory a path names its file in; a listed entry completed by its path.
#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_plan.h"

bool MakeStoredPath(PathBuffer& out, const char* medium, const MediumEntry& entry) {
  if (!entry.installer) return JoinPath(out, medium, entry.relative);
  PathBuffer directory;
  PathBuffer relative;
  if (!CopyPath(directory, entry.relative)) return false;
  directory[entry.nameOffset] = '\0';
  if (!ConcatenatePath(relative, directory, kStoredInstallerFileName)) return false;
  return JoinPath(out, medium, relative);
}

bool ReadDirectoryPart(PathBuffer& out, const char* path) {
  if (!CopyPath(out, path)) return false;
  char* cut = nullptr;
  for (char* c = out; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '/') cut = c;
  }
  if (cut == nullptr) return CopyPath(out, ".");
  // A root keeps its separator.
  cut[cut == out ? 1 : 0] = '\0';
  return true;
}

bool CompleteListedEntry(const char* directory, DirEntry* entry) {
  PathBuffer path;
  // A path too long to look up is too long to store: the store tells so.
  if (entry->lengthKnown || !JoinPath(path, directory, entry->name)) return true;
  return LookUpPath(path, entry);
}
