// Whether one directory lies within another, by volume and file index. The
// inner directory is opened and its real path read back from the handle, so
// that letter case, doubled separators, ".." and junctions cannot fool the
// comparison; each real parent is then compared, the root included.
#include <cstring>

#include "platform/win32/win32_handles.h"

namespace {

// Long enough for a real path behind a junction, which may exceed a path.
constexpr DWORD kRealPathSize = 1024;
constexpr char kLongPathPrefix[] = "\\\\?\\";
constexpr char kUncPrefix[] = "\\\\?\\UNC\\";

struct FileIdentity {
  DWORD volume;
  DWORD indexHigh;
  DWORD indexLow;
};

HANDLE OpenForIdentity(const char* path) {
  return CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool ReadIdentity(const char* path, FileIdentity* identity) {
  HANDLE file = OpenForIdentity(path);
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

// The root at the front of a real path: "\\?\C:\" or "\\?\UNC\server\share\".
std::size_t MeasureRoot(const char* path) {
  const bool share = std::strncmp(path, kUncPrefix, sizeof kUncPrefix - 1) == 0;
  int separators = share ? 3 : 1;
  const char* at = path + sizeof kLongPathPrefix - 1;
  for (; *at != '\0' && separators > 0; ++at) {
    if (*at == '\\') --separators;
  }
  return static_cast<std::size_t>(at - path);
}

// Cuts the last component off; false once only the root is left.
bool CutLastComponent(char* path, std::size_t rootLength) {
  std::size_t end = std::strlen(path);
  if (end <= rootLength) return false;
  while (end > rootLength && path[end - 1] != '\\') --end;
  if (end > rootLength) --end;  // the separator goes too, but the root keeps its own
  path[end] = '\0';
  return true;
}

void DropTrailingSeparators(char* path) {
  std::size_t end = std::strlen(path);
  while (end > 0 && path[end - 1] == '\\') path[--end] = '\0';
}

}  // namespace

bool IsDirectoryWithin(const char* inner, const char* outer) {
  FileIdentity outerIdentity;
  if (!ReadIdentity(outer, &outerIdentity)) return false;
  HANDLE opened = OpenForIdentity(inner);
  if (opened == INVALID_HANDLE_VALUE) return false;
  char real[kRealPathSize];
  const DWORD length = GetFinalPathNameByHandleA(opened, real, kRealPathSize, FILE_NAME_NORMALIZED);
  CloseHandle(opened);
  // A real path too long to walk cannot be shown to lie outside.
  if (length == 0 || length >= kRealPathSize) return length != 0;
  const std::size_t rootLength = MeasureRoot(real);
  do {
    FileIdentity here;
    if (ReadIdentity(real, &here) && IsSameIdentity(here, outerIdentity)) return true;
  } while (CutLastComponent(real, rootLength));
  return false;
}

bool IsFileSystemRoot(const char* path) {
  PathBuffer full;
  PathBuffer volume;
  const DWORD length = GetFullPathNameA(path, kPathBufferSize, full, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(kPathBufferSize)) return false;
  if (!GetVolumePathNameA(full, volume, kPathBufferSize)) return false;
  // "C:\" and a mounted folder's "D:\Mount\" both end in a separator.
  DropTrailingSeparators(full);
  DropTrailingSeparators(volume);
  return lstrcmpiA(full, volume) == 0;
}
