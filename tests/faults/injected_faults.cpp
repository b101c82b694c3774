// The wrappers the link step puts between the launcher and its platform
// (-Wl,--wrap=<symbol>): each passes the call on, or fails it when armed.
#include "tests/faults/injected_faults.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/platform_ops.h"

FaultPlan& Faults() {
  static FaultPlan plan = {FaultKind::kNone, -1, 0, false, {}, 0};
  return plan;
}

void ArmFault(FaultKind kind, int armedAt) {
  Faults() = {kind, armedAt, 0, false, {}, Faults().allocationCap};
}

void CapAllocations(std::size_t largest) { Faults().allocationCap = largest; }

namespace {

FileHandle lastWritten = nullptr;
// The folder's descriptor and the name whose look-up is to fail.
std::pair<int, std::string> unreadEntry = {-1, ""};

bool Fire(FaultKind kind) {
  FaultPlan& plan = Faults();
  if (plan.kind != kind) return false;
  if (plan.calls++ != plan.armedAt) return false;
  plan.fired = true;
  return true;
}

// The folder a faulted listing was reading, by its descriptor.
void NoteFaultedListing(DIR* directory) {
  char path[PATH_MAX] = {};
  const std::string link = "/proc/self/fd/" + std::to_string(dirfd(directory));
  if (readlink(link.c_str(), path, sizeof path - 1) > 0) Faults().faultedPath = path;
}

}  // namespace

// The names the linker gives the real calls and their wrappers.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {
void* __real__Z18AllocateFileBufferm(std::size_t size);
FileHandle __real__Z15OpenFileForReadPKc(const char* path);
bool __real__Z12ReadFileSizeP12PlatformFilePm(FileHandle file, uint64_t* size);
int64_t __real__Z13ReadFileBytesP12PlatformFilePvm(FileHandle file, void* buffer, std::size_t size);
FileHandle __real__Z16OpenFileForWritePKcb(const char* path, bool mustBeNew);
bool __real__Z14WriteFileBytesP12PlatformFilePKvm(FileHandle file, const void* buffer,
                                                  std::size_t size);
bool __real__Z9CloseFileP12PlatformFile(FileHandle file);
SearchHandle __real__Z20OpenDirectoryListingPKcP8DirEntry(const char* pattern, DirEntry* first);
bool __real__Z13MakeDirectoryPKc(const char* path);
bool __real__Z17CreatePendingFilePKcP11PendingFile(const char* path, PendingFile* pending);
bool __real__Z15NamePendingFileP11PendingFilePKc(PendingFile* pending, const char* path);
dirent* __real_readdir(DIR* directory);
int __real_fstatat(int directoryFd, const char* name, struct stat* found, int flags);
int __real_flock(int fd, int operation);

dirent* __wrap_readdir(DIR* directory) {
  if (Fire(FaultKind::kListingBreaks)) {
    NoteFaultedListing(directory);
    errno = EIO;
    return nullptr;
  }
  dirent* found = __real_readdir(directory);
  // A file system that leaves kinds out of its listings, and an entry whose
  // look-up then fails: the next look-up of that name in that folder.
  if (found != nullptr && Fire(FaultKind::kEntryUnread)) {
    NoteFaultedListing(directory);
    found->d_type = DT_UNKNOWN;
    unreadEntry = {dirfd(directory), found->d_name};
  }
  return found;
}

int __wrap_fstatat(int directoryFd, const char* name, struct stat* found, int flags) {
  if (directoryFd == unreadEntry.first && unreadEntry.second == name) {
    unreadEntry = {-1, ""};
    errno = EIO;
    return -1;
  }
  return __real_fstatat(directoryFd, name, found, flags);
}

// Another run removes the copy, and a third makes a fresh one, in the
// moment between this one's open and its lock.
int __wrap_flock(int fd, int operation) {
  if (Fire(FaultKind::kLockWindow)) {
    const std::string& copy = Faults().faultedPath;
    if (rmdir(copy.c_str()) != 0 || mkdir(copy.c_str(), 0700) != 0) return -1;
  }
  return __real_flock(fd, operation);
}

void* __wrap__Z18AllocateFileBufferm(std::size_t size) {
  if (Fire(FaultKind::kAllocate)) return nullptr;
  const std::size_t cap = Faults().allocationCap;
  return cap != 0 && size > cap ? nullptr : __real__Z18AllocateFileBufferm(size);
}

FileHandle __wrap__Z15OpenFileForReadPKc(const char* path) {
  return Fire(FaultKind::kOpenRead) ? nullptr : __real__Z15OpenFileForReadPKc(path);
}

bool __wrap__Z12ReadFileSizeP12PlatformFilePm(FileHandle file, uint64_t* size) {
  return !Fire(FaultKind::kReadSize) && __real__Z12ReadFileSizeP12PlatformFilePm(file, size);
}

int64_t __wrap__Z13ReadFileBytesP12PlatformFilePvm(FileHandle file, void* buffer,
                                                   std::size_t size) {
  if (Fire(FaultKind::kReadError)) return -1;
  // The restore asks one byte past the length; a shrunk file gives less
  // than the length, a grown one all it asks.
  if (size >= 2 && Fire(FaultKind::kReadShrunk)) {
    return __real__Z13ReadFileBytesP12PlatformFilePvm(file, buffer, size - 2);
  }
  const int64_t got = __real__Z13ReadFileBytesP12PlatformFilePvm(file, buffer, size);
  if (Fire(FaultKind::kReadGrown)) return static_cast<int64_t>(size);
  return got;
}

FileHandle __wrap__Z16OpenFileForWritePKcb(const char* path, bool mustBeNew) {
  if (Fire(FaultKind::kOpenWrite)) return nullptr;
  lastWritten = __real__Z16OpenFileForWritePKcb(path, mustBeNew);
  return lastWritten;
}

// The restore's own destination: made unnamed, named once whole.
bool __wrap__Z17CreatePendingFilePKcP11PendingFile(const char* path, PendingFile* pending) {
  if (Fire(FaultKind::kOpenWrite)) {
    errno = EACCES;
    return false;
  }
  return __real__Z17CreatePendingFilePKcP11PendingFile(path, pending);
}

// A late write failure, which the close that names the file reports: the
// file is gone, never named.
bool __wrap__Z15NamePendingFileP11PendingFilePKc(PendingFile* pending, const char* path) {
  if (!Fire(FaultKind::kCloseFails))
    return __real__Z15NamePendingFileP11PendingFilePKc(pending, path);
  DiscardPendingFile(pending, path);
  errno = EIO;
  return false;
}

bool __wrap__Z14WriteFileBytesP12PlatformFilePKvm(FileHandle file, const void* buffer,
                                                  std::size_t size) {
  if (Fire(FaultKind::kWriteFails)) {
    __real__Z14WriteFileBytesP12PlatformFilePKvm(file, buffer, size / 2);
    return false;
  }
  return __real__Z14WriteFileBytesP12PlatformFilePKvm(file, buffer, size);
}

bool __wrap__Z9CloseFileP12PlatformFile(FileHandle file) {
  const bool written = file == lastWritten;
  const bool closed = __real__Z9CloseFileP12PlatformFile(file);
  if (written) lastWritten = nullptr;
  return written && Fire(FaultKind::kCloseFails) ? false : closed;
}

SearchHandle __wrap__Z20OpenDirectoryListingPKcP8DirEntry(const char* pattern, DirEntry* first) {
  if (Fire(FaultKind::kListing)) {
    Faults().faultedPath = pattern;
    return nullptr;
  }
  return __real__Z20OpenDirectoryListingPKcP8DirEntry(pattern, first);
}

bool __wrap__Z13MakeDirectoryPKc(const char* path) {
  if (Fire(FaultKind::kMakeDirectory)) {
    Faults().faultedPath = path;
    return false;
  }
  return __real__Z13MakeDirectoryPKc(path);
}
}
// NOLINTEND(bugprone-reserved-identifier)
