// The removal's steps, each an open relative to a held directory's handle
// that never follows a reparse point, a check that what was opened lies in
// that directory, and a deletion through the handle itself. Names stay in
// UTF-16 from the listing to the open: no code page stands between.
#include <cstddef>
#include <cstring>

#include "platform/win32/held_directory_win32.h"
#include "platform/win32/nt_files_win32.h"

namespace {

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kOpenAsItself = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT;
// Room for a directory's listing of one entry, whatever its name: no file
// system names an entry longer than a HeldName holds.
constexpr DWORD kEntryBufferSize = offsetof(FILE_DIRECTORY_INFORMATION, FileName) + kHeldNameBytes;
constexpr uint32_t kHeldEntryBits =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY;
// What FileBasicInformation may set; a zero word there means "unchanged".
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// Windows 10 1709 and later: a delete that the read-only attribute does not
// stop, for a file whose attribute belongs to names outside the copy too.
constexpr ULONG kFileDispositionInformationEx = 64;
constexpr ULONG kDispositionDelete = 0x1;
constexpr ULONG kDispositionIgnoreReadOnly = 0x10;

bool IsDotEntry(const WCHAR* name, ULONG units) {
  return (units == 1 && name[0] == L'.') || (units == 2 && name[0] == L'.' && name[1] == L'.');
}

bool IsDotOrBlank(WCHAR unit) { return unit == L'.' || unit == L' '; }

// What a relative open reached is the parent's child of that name, on the
// parent's volume and under its name exactly, letter case included: Wine
// opens what a Unix link leads to, wherever that lies, and would delete it.
// Wine reads back a name ending in dots or blanks without them, and a folder
// of such a name, on the way to its children, without its last dot: such a
// name also matches so cut, which still names a child of the same folder
// (never the folder itself: some of the name must be left). Names without
// such an end are compared exactly.
bool LiesInParent(HeldDirectory parent, HANDLE child, const HeldName& name,
                  BY_HANDLE_FILE_INFORMATION* info) {
  if (GetFileInformationByHandle(child, info) == 0 ||
      info->dwVolumeSerialNumber != parent->identity.dwVolumeSerialNumber) {
    return false;
  }
  if (!parent->named) {
    if (!ReadVolumeName(parent->calls, parent->directory, &parent->name)) return false;
    parent->named = true;
  }
  VolumeName reached;
  bool lies = false;
  if (ReadVolumeName(parent->calls, child, &reached)) {
    lies = IsParentAndName(reached, parent->name, parent->dottedName, name);
    ReleaseVolumeName(&reached);
  }
  return lies;
}

// Opens `name` in `parent` as itself, checked to lie there.
HANDLE OpenChild(HeldDirectory parent, const HeldName& name, ACCESS_MASK access, ULONG options,
                 BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE child = INVALID_HANDLE_VALUE;
  const NtOpenRequest request = {parent->directory,
                                 reinterpret_cast<const WCHAR*>(name.bytes),
                                 static_cast<USHORT>(name.size / sizeof(WCHAR)),
                                 access | SYNCHRONIZE,
                                 kShareAll,
                                 FILE_OPEN,
                                 options | kOpenAsItself,
                                 nullptr};
  if (!OpenNtFile(parent->calls, request, &child)) return INVALID_HANDLE_VALUE;
  if (!LiesInParent(parent, child, name, info)) {
    CloseHandle(child);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return child;
}

// Deleted when the handle closes; a link or junction goes as itself.
bool DeleteChild(HeldDirectory parent, const HeldName& name, ULONG kind) {
  BY_HANDLE_FILE_INFORMATION info;
  HANDLE child =
      OpenChild(parent, name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kind, &info);
  if (child == INVALID_HANDLE_VALUE) return false;
  const bool marked = MarkForDeletion(parent->calls, child, info);
  CloseHandle(child);  // leaves the last error as it was
  return marked;
}

}  // namespace

bool IsParentAndName(const VolumeName& reached, const VolumeName& parent, bool dottedParent,
                     const HeldName& name) {
  if (reached.count < parent.count ||
      std::memcmp(reached.units, parent.units, parent.count * sizeof(WCHAR)) != 0) {
    return false;
  }
  ULONG at = parent.count;
  const bool root = parent.count > 0 && parent.units[parent.count - 1] == L'\\';
  if (!root) {
    while (dottedParent && at < reached.count && IsDotOrBlank(reached.units[at])) ++at;
    if (at == reached.count || reached.units[at] != L'\\') return false;
    ++at;
  }
  const auto* units = reinterpret_cast<const WCHAR*>(name.bytes);
  const ULONG count = name.size / sizeof(WCHAR);
  const ULONG kept = reached.count - at;
  if (kept == 0 || kept > count || std::memcmp(reached.units + at, units, kept * sizeof(WCHAR))) {
    return false;
  }
  for (ULONG i = kept; i < count; ++i) {
    if (!IsDotOrBlank(units[i])) return false;
  }
  return true;
}

bool MarkForDeletion(const NtFileCalls& calls, HANDLE file,
                     const BY_HANDLE_FILE_INFORMATION& info) {
  IO_STATUS_BLOCK io = {};
  NTSTATUS status = 0;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    // The attribute belongs to the file, not to one of its names: on a file
    // of several links, clearing it would change a file outside the copy.
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && info.nNumberOfLinks != 1) {
      ULONG flags = kDispositionDelete | kDispositionIgnoreReadOnly;
      status = calls.setInformation(file, &io, &flags, sizeof flags, kFileDispositionInformationEx);
      return status >= 0 || FailWithStatus(calls, status);
    }
    FILE_BASIC_INFORMATION basic = {};
    basic.FileAttributes =
        info.dwFileAttributes & kSettableAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    status = calls.setInformation(file, &io, &basic, sizeof basic, FileBasicInformation);
    if (status < 0) return FailWithStatus(calls, status);
  }
  return MarkNtFileDeleted(calls, file, true);
}

HeldDirectory HoldOpenedDirectory(HANDLE directory, const NtFileCalls* known, bool deletable) {
  if (directory == INVALID_HANDLE_VALUE) return nullptr;
  PlatformHeldDirectory found = {directory, {}, false, deletable, false, {}, false, {}};
  if (known != nullptr) found.calls = *known;
  const bool real = GetFileInformationByHandle(directory, &found.identity) != 0 &&
                    (found.identity.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                    (found.identity.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                    (known != nullptr || FindNtFileCalls(&found.calls));
  // The process heap, not operator new: that would bring the C++ runtime's
  // exception support into a program that must stay small.
  auto* held = real ? static_cast<PlatformHeldDirectory*>(
                          HeapAlloc(GetProcessHeap(), 0, sizeof(PlatformHeldDirectory)))
                    : nullptr;
  if (held == nullptr) {
    CloseHandle(directory);
    SetLastError(real ? ERROR_NOT_ENOUGH_MEMORY : ERROR_ACCESS_DENIED);
    return nullptr;
  }
  // The name's room is the record's own: copied before it is ever read.
  *held = found;
  return held;
}

HeldDirectory OpenDirectoryForRemoval(const char* path) {
  return HoldOpenedDirectory(
      CreateFileA(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                  nullptr),
      nullptr, false);
}

HeldDirectory OpenChildDirectory(HeldDirectory parent, const HeldName& name) {
  BY_HANDLE_FILE_INFORMATION info;
  HeldDirectory child =
      HoldOpenedDirectory(OpenChild(parent, name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                    FILE_DIRECTORY_FILE, &info),
                          &parent->calls, false);
  const auto* units = reinterpret_cast<const WCHAR*>(name.bytes);
  const std::size_t count = name.size / sizeof(WCHAR);
  if (child != nullptr) child->dottedName = count > 0 && IsDotOrBlank(units[count - 1]);
  // The walk goes down into it: only the deepest level keeps its name.
  ForgetHeldName(parent);
  return child;
}

bool ReadHeldEntry(HeldDirectory directory, HeldEntry* entry) {
  alignas(LARGE_INTEGER) BYTE buffer[kEntryBufferSize];
  const auto* found = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(buffer);
  for (;;) {
    IO_STATUS_BLOCK io = {};
    // One entry at a time: the handle keeps the place, the launcher no list.
    const NTSTATUS status = directory->calls.queryDirectory(
        directory->directory, nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
        FileDirectoryInformation, TRUE, nullptr, directory->listing ? FALSE : TRUE);
    directory->listing = true;
    if (status < 0 || status == kStatusNoMoreFiles) return false;
    const ULONG units = found->FileNameLength / sizeof(WCHAR);
    if (IsDotEntry(found->FileName, units)) continue;
    entry->name.size = static_cast<uint16_t>(units * sizeof(WCHAR));
    std::memcpy(entry->name.bytes, found->FileName, entry->name.size);
    entry->attributes = found->FileAttributes & kHeldEntryBits;
    return true;
  }
}

void RewindHeldDirectory(HeldDirectory directory) { directory->listing = false; }

bool DeleteChildFile(HeldDirectory parent, const HeldName& name) {
  return DeleteChild(parent, name, FILE_NON_DIRECTORY_FILE);
}

bool RemoveChildDirectory(HeldDirectory parent, const HeldName& name) {
  return DeleteChild(parent, name, FILE_DIRECTORY_FILE);
}

// A process may hold millions of handles, more than a path of 32,767 units
// has levels: every level stays held, and there is nothing to let go.
void SuspendHeldDirectory(HeldDirectory /*directory*/) {}
bool ResumeHeldDirectory(HeldDirectory /*directory*/, HeldDirectory /*child*/) { return true; }

void ForgetHeldName(HeldDirectory directory) {
  if (!directory->named) return;
  ReleaseVolumeName(&directory->name);
  directory->named = false;
}

void CloseHeldDirectory(HeldDirectory directory) {
  if (directory == nullptr) return;
  ForgetHeldName(directory);
  CloseHandle(directory->directory);
  HeapFree(GetProcessHeap(), 0, directory);
}
