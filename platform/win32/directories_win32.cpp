#include <cstddef>
#include <cstring>

#include "platform/win32/win32_handles.h"

namespace {

constexpr std::size_t kDevicePrefixLength = 4;  // "\\?\" or "\\.\"

// The size the system gives as two halves, whole: 2 GiB and more too.
uint64_t JoinLengthHalves(DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; }

}  // namespace

void FillEntryFromFindData(const WIN32_FIND_DATAA& found, DirEntry* entry) {
  CopyPath(entry->name, found.cFileName);
  entry->attributes = found.dwFileAttributes;
  entry->length = JoinLengthHalves(found.nFileSizeHigh, found.nFileSizeLow);
  entry->lengthKnown = true;
}

SearchHandle OpenDirectoryListing(const char* pattern, DirEntry* first) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search != INVALID_HANDLE_VALUE) FillEntryFromFindData(found, first);
  return FromWin32Handle<SearchHandle>(search);
}

bool ReadNextEntry(SearchHandle search, DirEntry* entry) {
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(ToWin32Handle(search), &found)) return false;
  FillEntryFromFindData(found, entry);
  return true;
}

// Every name Windows lists fits a launcher path.
int CountLeftOutEntries(SearchHandle /*search*/) { return 0; }

void CloseSearch(SearchHandle search) { FindClose(ToWin32Handle(search)); }

// The attributes alone, no search: a search opens the directory to list
// it, which costs as much again as restoring a small file does.
bool LookUpPath(const char* path, DirEntry* entry) {
  // The search takes wildcards, a look-up does not: no file name holds them.
  if (std::strpbrk(path, "*?") != nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  WIN32_FILE_ATTRIBUTE_DATA found;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &found)) return false;
  const char* name = path;
  for (const char* c = path; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '/') name = c + 1;
  }
  CopyPath(entry->name, name);
  entry->attributes = found.dwFileAttributes;
  entry->length = JoinLengthHalves(found.nFileSizeHigh, found.nFileSizeLow);
  entry->lengthKnown = true;
  return true;
}

bool MakeDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

bool RemoveDirectoryPath(const char* path) { return RemoveDirectoryA(path) != 0; }

bool DeleteFilePath(const char* path) { return DeleteFileA(path) != 0; }

bool ReadTempPath(PathBuffer& out) {
  // Room for a "\\?\" or "\\.\" before a folder whose plain spelling fits.
  char read[kPathBufferSize + kDevicePrefixLength];
  const DWORD length = GetTempPathA(sizeof read, read);
  if (length == 0 || length >= sizeof read) {
    if (length != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  // A drive's folder spelled "\\?\C:\Temp\" or "\\.\C:\Temp\" is given as
  // "C:\Temp\", the spelling every program the run starts takes as its
  // current directory, whenever that names the same folder: when making it
  // full changes nothing.
  const char* plain = read;
  const char* drive = read + kDevicePrefixLength;
  const bool device = read[0] == '\\' && read[1] == '\\' && (read[2] == '?' || read[2] == '.') &&
                      read[3] == '\\' && drive[0] != '\0' && drive[1] == ':' && drive[2] == '\\';
  PathBuffer full;
  const DWORD fullLength = device ? GetFullPathNameA(drive, kPathBufferSize, full, nullptr) : 0;
  if (fullLength != 0 && fullLength < static_cast<DWORD>(kPathBufferSize) &&
      std::strcmp(full, drive) == 0) {
    plain = drive;
  }
  if (!CopyPath(out, plain)) {
    out[0] = '\0';
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  return true;
}

bool ReadCurrentDirectory(PathBuffer& out) {
  const DWORD length = GetCurrentDirectoryA(kPathBufferSize, out);
  if (length != 0 && length < static_cast<DWORD>(kPathBufferSize)) return true;
  if (length != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
  out[0] = '\0';
  return false;
}

bool ChangeCurrentDirectory(const char* path) { return SetCurrentDirectoryA(path) != 0; }
