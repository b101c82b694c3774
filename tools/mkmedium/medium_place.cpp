// Where a make may write: MEDIUM and the image's folder judged by the
// directories' identity, so that no spelling, link or mount of a source
// folder (a container volume is a bind mount) lets the medium into SOURCE,
// nor SOURCE into the medium.
#include "tools/mkmedium/medium_place.h"

#include <cstdio>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

namespace {

bool IsSameIdentity(const DirectoryIdentity& a, const DirectoryIdentity& b) {
  return a.volume == b.volume && a.index == b.index;
}

// What the make would write into: MEDIUM itself, or the folder it would be
// created in.
bool ReadWritePlace(PathBuffer& out, const char* path) {
  DirEntry found;
  if (LookUpPath(path, &found)) return CopyPath(out, path);
  return ReadDirectoryPart(out, path);
}

// Whether the folder `place` is one of the source's directories or lies
// below one, however it is reached.
bool IsInSource(const char* place, const char* source, const SourceDirectories& directories) {
  return IsDirectoryWithin(place, source) ||
         IsDirectoryBelowAny(place, directories.data(), directories.size());
}

}  // namespace

SourceDirectories ReadSourceDirectories(const char* source, const MediumPlan* plan) {
  SourceDirectories directories;
  DirectoryIdentity identity;
  if (ReadDirectoryIdentity(source, &identity)) directories.push_back(identity);
  if (plan == nullptr) return directories;
  for (const MediumEntry& entry : plan->entries) {
    PathBuffer path;
    if (entry.directory && !entry.special && JoinPath(path, source, entry.relative) &&
        ReadDirectoryIdentity(path, &identity)) {
      directories.push_back(identity);
    }
  }
  return directories;
}

bool IsImagePathRefused(const char* image) {
  DirEntry found;
  if (image == nullptr) return false;
  if (LookUpPath(image, &found) && IsDirectoryEntry(found)) {
    (void)std::fprintf(stderr,
                       "mkmedium: refused: --iso %s names a folder; name the image file to "
                       "write, such as %s%cproduct.iso\n",
                       image, image, ReadHostSeparator());
    return true;
  }
  PathBuffer directory;
  const bool exists = ReadDirectoryPart(directory, image) && LookUpPath(directory, &found);
  if (exists && IsDirectoryEntry(found)) return false;
  (void)std::fprintf(stderr, "mkmedium: refused: --iso %s: no folder %s to write it in: %s\n",
                     image, directory, exists ? "it is a file." : ShowLastError().c_str());
  return true;
}

bool IsMediumPlaceRefused(const char* source, const char* medium, const char* image,
                          const SourceDirectories& directories) {
  PathBuffer place;
  DirectoryIdentity sourceIdentity;
  DirectoryIdentity placeIdentity;
  if (ReadWritePlace(place, medium) && IsInSource(place, source, directories)) {
    const bool same = ReadDirectoryIdentity(source, &sourceIdentity) &&
                      ReadDirectoryIdentity(medium, &placeIdentity) &&
                      IsSameIdentity(sourceIdentity, placeIdentity);
    (void)std::fprintf(stderr,
                       "mkmedium: refused: %s %s the source %s; nothing written: name a "
                       "MEDIUM outside it\n",
                       medium, same ? "is" : "lies inside", source);
    return true;
  }
  DirEntry found;
  if (LookUpPath(medium, &found) && IsDirectoryWithin(source, medium)) {
    (void)std::fprintf(stderr,
                       "mkmedium: refused: the source %s lies inside %s; nothing written: name "
                       "a MEDIUM outside it\n",
                       source, medium);
    return true;
  }
  if (image == nullptr) return false;
  PathBuffer imageDirectory;
  if (!ReadDirectoryPart(imageDirectory, image) || IsDirectoryWithin(imageDirectory, medium) ||
      IsInSource(imageDirectory, source, directories)) {
    (void)std::fprintf(stderr, "mkmedium: refused: the image %s must lie outside %s and %s\n",
                       image, source, medium);
    return true;
  }
  return false;
}
