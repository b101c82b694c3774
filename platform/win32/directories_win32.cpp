#include <cstring>

#include "platform/win32/win32_handles.h"

void FillEntryFromFindData(const WIN32_FIND_DATAA& found, DirEntry* entry) {
  CopyPath(entry->name, found.cFileName);
  entry->attributes = found.dwFileAttributes;
  entry->length = static_cast<int32_t>(found.nFileSizeLow);
  entry->lengthHigh = found.nFileSizeHigh;
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
  entry->length = static_cast<int32_t>(found.nFileSizeLow);
  entry->lengthHigh = found.nFileSizeHigh;
  entry->lengthKnown = true;
  return true;
}

bool MakeDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

bool RemoveDirectoryPath(const char* path) { return RemoveDirectoryA(path) != 0; }

bool DeleteFilePath(const char* path) { return DeleteFileA(path) != 0; }

bool ReadTempPath(PathBuffer& out) {
  const DWORD length = GetTempPathA(kPathBufferSize, out);
  return length != 0 && length < static_cast<DWORD>(kPathBufferSize);
}

bool ReadCurrentDirectory(PathBuffer& out) {
  const DWORD length = GetCurrentDirectoryA(kPathBufferSize, out);
  if (length != 0 && length < static_cast<DWORD>(kPathBufferSize)) return true;
  if (length != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
  out[0] = '\0';
  return false;
}

bool ChangeCurrentDirectory(const char* path) { return SetCurrentDirectoryA(path) != 0; }
