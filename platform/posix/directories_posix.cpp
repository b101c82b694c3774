// Listings, look-ups and directory changes, with Windows meanings.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform_ops.h"
#include "platform/posix/posix_paths.h"

struct PlatformSearch {
  DIR* directory;
  int leftOut;
};

namespace {

constexpr char kListPatternSuffix[] = "\\*.*";

// Names holding a backslash cannot be spelled in a launcher path: "\"
// separates directories. They are left out, as Windows could not hold them.
// False at the end (ENODATA) or when the listing broke off: a NULL from
// readdir with errno set, or an entry whose details cannot be read.
bool FillNextEntry(DIR* directory, DirEntry* entry, int* leftOut) {
  for (;;) {
    errno = 0;
    const dirent* found = readdir(directory);
    if (found == nullptr) {
      if (errno == 0) errno = ENODATA;
      return false;
    }
    if (std::strchr(found->d_name, '\\') != nullptr || !CopyPath(entry->name, found->d_name)) {
      ++*leftOut;
      continue;
    }
    return FillEntryFromListing(dirfd(directory), *found, entry);
  }
}

}  // namespace

SearchHandle OpenDirectoryListing(const char* pattern, DirEntry* first) {
  const std::size_t length = std::strlen(pattern);
  const std::size_t suffix = sizeof kListPatternSuffix - 1;
  if (length < suffix || std::strcmp(pattern + length - suffix, kListPatternSuffix) != 0) {
    errno = ENOENT;
    return nullptr;
  }
  PathBuffer directoryText;
  if (!CopyPath(directoryText, pattern)) return nullptr;
  directoryText[length - suffix] = '\0';
  PathBuffer path;
  if (!TranslatePath(directoryText, path)) return nullptr;
  if (path[0] == '\0') CopyPath(path, "/");

  DIR* directory = opendir(path);
  if (directory == nullptr) return nullptr;
  int leftOut = 0;
  if (!FillNextEntry(directory, first, &leftOut)) {
    const int error = errno;
    closedir(directory);
    // Nothing to list is what Windows says of a pattern that matches nothing.
    errno = error == ENODATA ? ENOENT : error;
    return nullptr;
  }
  auto* search = new (std::nothrow) PlatformSearch{directory, leftOut};
  if (search == nullptr) closedir(directory);
  return search;
}

bool ReadNextEntry(SearchHandle search, DirEntry* entry) {
  return FillNextEntry(search->directory, entry, &search->leftOut);
}

int CountLeftOutEntries(SearchHandle search) { return search->leftOut; }

void CloseSearch(SearchHandle search) {
  closedir(search->directory);
  delete search;
}

bool LookUpPath(const char* path, DirEntry* entry) {
  PathBuffer native;
  if (!TranslatePath(path, native)) return false;
  if (!CopyPath(entry->name, FindLastName(native))) return false;
  bool found = false;
  FillEntryFromStat(AT_FDCWD, native, entry, &found);
  return found;
}

bool MakeDirectory(const char* path) {
  PathBuffer native;
  // Nobody else may write into what the launcher creates.
  return TranslatePath(path, native) && mkdir(native, 0755) == 0;
}

bool RemoveDirectoryPath(const char* path) {
  PathBuffer native;
  if (!TranslatePath(path, native)) return false;
  struct stat own = {};
  if (lstat(native, &own) != 0) return false;
  // A link listed as a directory goes as a link, as a junction does.
  if (S_ISLNK(own.st_mode)) return unlink(native) == 0;
  return rmdir(native) == 0;
}

bool DeleteFilePath(const char* path) {
  PathBuffer native;
  if (!TranslatePath(path, native)) return false;
  struct stat own = {};
  return lstat(native, &own) == 0 && MayDeleteAsFile(own) && unlink(native) == 0;
}

bool ReadTempPath(PathBuffer& out) {
  const char* temp = std::getenv("TMPDIR");
  if (temp == nullptr || temp[0] != '/') temp = "/tmp";
  const std::size_t length = std::strlen(temp);
  const bool endsInSeparator = temp[length - 1] == '/';
  if (!ConcatenatePath(out, temp, endsInSeparator ? "" : "/")) {
    errno = ENAMETOOLONG;
    return false;
  }
  return true;
}

bool ReadCurrentDirectory(PathBuffer& out) {
  if (getcwd(out, kPathBufferSize) == nullptr) {
    out[0] = '\0';
    return false;
  }
  // "a\b/med" would be read back as a/b/med: another directory, another medium.
  if (std::strchr(out, '\\') != nullptr) {
    out[0] = '\0';
    errno = EILSEQ;
    return false;
  }
  return true;
}

bool ChangeCurrentDirectory(const char* path) {
  PathBuffer native;
  return TranslatePath(path, native) && chdir(native) == 0;
}
