// Whether one directory lies within another, by volume and file index. The
// inner directory is opened and its real path read back from the handle, so
// that letter case, doubled separators, ".." and junctions cannot fool the
// comparison; each real parent is then compared, the root included. Windows
// before Vista cannot read a real path: there the spelled one is walked.
#include "platform/win32/directory_identity_win32.h"

#include <cstring>

#include "platform/win32/system_functions_win32.h"
#include "platform/win32/win32_handles.h"

namespace {

// Long enough for a real path behind a junction, which may exceed a path.
constexpr DWORD kRealPathSize = 1024;
constexpr char kLongPathPrefix[] = "\\\\?\\";
constexpr char kUncPrefix[] = "\\\\?\\UNC\\";
constexpr char kSubstitutePrefix[] = "\\??\\";  // what a drive made by subst leads to
constexpr std::size_t kDevicePrefixLength = 4;  // "\\?\" or "\\.\"
// Substituted drives may lead to one another; a longer chain is not followed.
constexpr int kMostSubstitutions = 8;

// Vista and later: looked up, not imported.
using GetFinalPathNameByHandleCall = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
constexpr DWORD kNormalizedName = 0x0;  // FILE_NAME_NORMALIZED

HANDLE OpenForIdentity(const char* path) {
  return CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool ReadIdentity(const char* path, DirectoryIdentity* identity) {
  HANDLE file = OpenForIdentity(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool read = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (read) {
    *identity = {info.dwVolumeSerialNumber,
                 (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  }
  return read;
}

bool IsAnyOf(const DirectoryIdentity& here, const DirectoryIdentity* outers, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (outers[i].volume == here.volume && outers[i].index == here.index) return true;
  }
  return false;
}

bool IsDevicePrefixed(const char* path) {
  return path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.') &&
         path[3] == '\\';
}

// The root at the front of a full path: "C:\" or "\\server\share\", either
// also behind "\\?\" (a share as "\\?\UNC\server\share\").
std::size_t MeasureRoot(const char* path) {
  std::size_t start = 0;
  int separators = 1;
  if (std::strncmp(path, kUncPrefix, sizeof kUncPrefix - 1) == 0) {
    start = sizeof kUncPrefix - 1;
    separators = 2;
  } else if (IsDevicePrefixed(path)) {
    start = kDevicePrefixLength;
  } else if (path[0] == '\\' && path[1] == '\\') {
    start = 2;
    separators = 2;
  }
  const char* at = path + start;
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

bool IsLinkOrMountedFolder(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Whether `path` or any parent of it, up to and including its root, is one
// of the directories `outers`. On a spelled path a link, junction or mounted
// folder hides where the real parents are: one met on the way counts as
// within.
bool IsAnyParent(char* path, const DirectoryIdentity* outers, std::size_t count, bool spelled) {
  const std::size_t rootLength = MeasureRoot(path);
  do {
    if (spelled && IsLinkOrMountedFolder(path)) return true;
    DirectoryIdentity here;
    if (ReadIdentity(path, &here) && IsAnyOf(here, outers, count)) return true;
  } while (CutLastComponent(path, rootLength));
  return false;
}

// A drive made by subst is another directory under a letter: its parents
// are that directory's. Rewrites "S:\rest" as "\\?\" + the directory behind
// S: + "\rest" until no substituted drive is left; false when the result
// does not fit or the chain is too long.
bool ReplaceSubstitutedDrives(char (&path)[kRealPathSize]) {
  for (int round = 0; round < kMostSubstitutions; ++round) {
    const std::size_t drive = IsDevicePrefixed(path) ? kDevicePrefixLength : 0;
    if (path[drive] == '\0' || path[drive + 1] != ':') return true;
    const char name[] = {path[drive], ':', '\0'};
    char target[kRealPathSize];
    if (QueryDosDeviceA(name, target, kRealPathSize) == 0) {
      return GetLastError() != ERROR_INSUFFICIENT_BUFFER;  // else no drive of that letter
    }
    // A volume's own letter leads to a device, not to a directory.
    if (std::strncmp(target, kSubstitutePrefix, sizeof kSubstitutePrefix - 1) != 0) return true;
    DropTrailingSeparators(target);
    const char* behind = target + sizeof kSubstitutePrefix - 1;
    const char* rest = path + drive + 2;
    char joined[kRealPathSize];
    const std::size_t lengths[] = {sizeof kLongPathPrefix - 1, std::strlen(behind),
                                   std::strlen(rest)};
    if (lengths[0] + lengths[1] + lengths[2] >= kRealPathSize) return false;
    std::memcpy(joined, kLongPathPrefix, lengths[0]);
    std::memcpy(joined + lengths[0], behind, lengths[1]);
    std::memcpy(joined + lengths[0] + lengths[1], rest, lengths[2] + 1);
    std::memcpy(path, joined, kRealPathSize);
  }
  return false;
}

// The spelled full path stands in for the real one, substituted drives
// replaced; what cannot be walked cannot be shown to lie outside.
bool IsSpelledPathWithin(const char* inner, const DirectoryIdentity* outers, std::size_t count) {
  char path[kRealPathSize];
  const DWORD length = GetFullPathNameA(inner, kRealPathSize, path, nullptr);
  if (length == 0 || length >= kRealPathSize || !ReplaceSubstitutedDrives(path)) return true;
  return IsAnyParent(path, outers, count, true);
}

// False when `inner` cannot be opened.
bool IsWithinAny(const char* inner, const DirectoryIdentity* outers, std::size_t count,
                 bool realPathAllowed) {
  HANDLE opened = OpenForIdentity(inner);
  if (opened == INVALID_HANDLE_VALUE) return false;
  auto readRealPath = realPathAllowed ? FindSystemCall<GetFinalPathNameByHandleCall>(
                                            "kernel32.dll", "GetFinalPathNameByHandleA")
                                      : nullptr;
  char real[kRealPathSize];
  const DWORD length =
      readRealPath == nullptr ? 0 : readRealPath(opened, real, kRealPathSize, kNormalizedName);
  CloseHandle(opened);
  if (length == 0) return IsSpelledPathWithin(inner, outers, count);
  // A real path too long to walk cannot be shown to lie outside.
  if (length >= kRealPathSize) return true;
  return IsAnyParent(real, outers, count, false);
}

// False when either cannot be opened.
bool IsWithin(const char* inner, const char* outer, bool realPathAllowed) {
  DirectoryIdentity outerIdentity;
  return ReadIdentity(outer, &outerIdentity) &&
         IsWithinAny(inner, &outerIdentity, 1, realPathAllowed);
}

}  // namespace

bool IsSpelledDirectoryWithin(const char* inner, const char* outer) {
  return IsWithin(inner, outer, false);
}

bool IsDirectoryWithin(const char* inner, const char* outer) {
  return IsWithin(inner, outer, true);
}

bool ReadDirectoryIdentity(const char* path, DirectoryIdentity* identity) {
  return ReadIdentity(path, identity);
}

bool IsDirectoryBelowAny(const char* inner, const DirectoryIdentity* outers, std::size_t count) {
  return IsWithinAny(inner, outers, count, true);
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
