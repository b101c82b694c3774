// Whether one directory lies within another, by volume and file index: each
// parent of the full path is opened, so that letter case, doubled
// separators, ".." and junctions cannot fool the comparison.
#include "platform/win32/win32_handles.h"

namespace {

struct FileIdentity {
  DWORD volume;
  DWORD indexHigh;
  DWORD indexLow;
};

bool ReadIdentity(const char* path, FileIdentity* identity) {
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool read = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (read) *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return read;
}

bool IsSameIdentity(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

// Cuts the last component off; false at the root.
bool CutLastComponent(char* path) {
  char* end = path + lstrlenA(path);
  while (end > path && (end[-1] == '\\' || end[-1] == '/')) --end;
  while (end > path && end[-1] != '\\' && end[-1] != '/') --end;
  if (end <= path + 3) return false;  // "C:\" stays
  *end = '\0';
  return true;
}

}  // namespace

bool IsDirectoryWithin(const char* inner, const char* outer) {
  FileIdentity outerIdentity;
  if (!ReadIdentity(outer, &outerIdentity)) return false;
  PathBuffer path;
  const DWORD length = GetFullPathNameA(inner, kPathBufferSize, path, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(kPathBufferSize)) return false;
  do {
    FileIdentity here;
    if (ReadIdentity(path, &here) && IsSameIdentity(here, outerIdentity)) return true;
  } while (CutLastComponent(path));
  return false;
}
