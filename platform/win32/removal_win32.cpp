// The removal's steps, each an open relative to a held directory's handle
// that never follows a reparse point, a check that what was opened lies in
// that directory, and a deletion through the handle itself.
#include <cstring>

#include "platform/win32/held_directory_win32.h"
#include "platform/win32/nt_files_win32.h"

namespace {

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kOpenAsItself = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT;
// Room for a directory's listing of one entry, whatever its name.
constexpr DWORD kEntryBufferSize = sizeof(FILE_DIRECTORY_INFORMATION) + 2 * MAX_PATH;
constexpr DWORD kNameBufferSize = sizeof(ULONG) + sizeof(WCHAR) * kHeldNameUnits;

bool ReadVolumeName(const NtFileCalls& calls, HANDLE file, WCHAR* out, USHORT* units) {
  alignas(ULONG) BYTE buffer[kNameBufferSize];
  IO_STATUS_BLOCK io = {};
  const NTSTATUS status =
      calls.queryInformation(file, &io, buffer, sizeof buffer, FileNameInformation);
  if (status < 0) return false;
  const auto* name = reinterpret_cast<const FILE_NAME_INFORMATION*>(buffer);
  const ULONG count = name->FileNameLength / sizeof(WCHAR);
  if (count > kHeldNameUnits) return false;
  std::memcpy(out, name->FileName, count * sizeof(WCHAR));
  *units = static_cast<USHORT>(count);
  CharUpperBuffW(out, count);
  return true;
}

// What a relative open reached is the parent's child of that name: Wine
// opens what a Unix link leads to, wherever that lies, and would delete it.
bool LiesInParent(HeldDirectory parent, HANDLE child, const WCHAR* name, USHORT nameUnits) {
  WCHAR expected[kHeldNameUnits];
  USHORT length = parent->nameUnits;
  const bool separator = length == 0 || parent->name[length - 1] != L'\\';
  if (length + (separator ? 1 : 0) + nameUnits > kHeldNameUnits) return false;
  std::memcpy(expected, parent->name, length * sizeof(WCHAR));
  if (separator) expected[length++] = L'\\';
  std::memcpy(expected + length, name, nameUnits * sizeof(WCHAR));
  length = static_cast<USHORT>(length + nameUnits);
  CharUpperBuffW(expected + length - nameUnits, nameUnits);
  WCHAR reached[kHeldNameUnits];
  USHORT reachedUnits = 0;
  return ReadVolumeName(parent->calls, child, reached, &reachedUnits) && reachedUnits == length &&
         std::memcmp(reached, expected, length * sizeof(WCHAR)) == 0;
}

// Opens `name` in `parent` as itself, checked to lie there.
HANDLE OpenChild(HeldDirectory parent, const char* name, ACCESS_MASK access, ULONG options) {
  WCHAR wide[MAX_PATH];
  USHORT units = 0;
  if (!WidenName(name, wide, MAX_PATH, &units)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE child = INVALID_HANDLE_VALUE;
  const NtOpenRequest request = {parent->directory,       wide,      units,
                                 access | SYNCHRONIZE,    kShareAll, FILE_OPEN,
                                 options | kOpenAsItself, nullptr};
  if (!OpenNtFile(parent->calls, request, &child)) return INVALID_HANDLE_VALUE;
  if (!LiesInParent(parent, child, wide, units)) {
    CloseHandle(child);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return child;
}

// Deleted when the handle closes; a link or junction goes as itself.
bool DeleteChild(HeldDirectory parent, const char* name, ULONG kind) {
  HANDLE child = OpenChild(parent, name, DELETE | FILE_READ_ATTRIBUTES, kind);
  if (child == INVALID_HANDLE_VALUE) return false;
  const NtFileCalls& calls = parent->calls;
  FILE_DISPOSITION_INFORMATION dispose = {TRUE};
  IO_STATUS_BLOCK io = {};
  const NTSTATUS status =
      calls.setInformation(child, &io, &dispose, sizeof dispose, FileDispositionInformation);
  CloseHandle(child);
  return status >= 0 || FailWithStatus(calls, status);
}

}  // namespace

HeldDirectory HoldOpenedDirectory(HANDLE directory, const NtFileCalls* known) {
  if (directory == INVALID_HANDLE_VALUE) return nullptr;
  PlatformHeldDirectory found = {directory, {}, false, 0, {}, {}};
  if (known != nullptr) found.calls = *known;
  const bool real = GetFileInformationByHandle(directory, &found.identity) != 0 &&
                    (found.identity.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                    (found.identity.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                    (known != nullptr || FindNtFileCalls(&found.calls)) &&
                    ReadVolumeName(found.calls, directory, found.name, &found.nameUnits);
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
  *held = found;
  return held;
}

HeldDirectory OpenDirectoryForRemoval(const char* path) {
  return HoldOpenedDirectory(
      CreateFileA(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                  nullptr),
      nullptr);
}

HeldDirectory OpenChildDirectory(HeldDirectory parent, const char* name) {
  return HoldOpenedDirectory(
      OpenChild(parent, name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_DIRECTORY_FILE),
      &parent->calls);
}

bool ReadHeldEntry(HeldDirectory directory, DirEntry* entry) {
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
    const int units = static_cast<int>(found->FileNameLength / sizeof(WCHAR));
    // UTF-8 as the code page replaces nothing, and takes no such flags.
    const bool utf8 = GetACP() == CP_UTF8;
    BOOL replaced = FALSE;
    const int length =
        WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, found->FileName, units,
                            entry->name, kPathBufferSize - 1, nullptr, utf8 ? nullptr : &replaced);
    // A name the narrow names cannot hold would reach another file.
    if (length <= 0 || replaced) continue;
    entry->name[length] = '\0';
    if (IsDotEntry(*entry)) continue;
    entry->attributes = found->FileAttributes;
    entry->length = static_cast<int32_t>(found->EndOfFile.LowPart);
    entry->lengthHigh = static_cast<uint32_t>(found->EndOfFile.HighPart);
    entry->lengthKnown = true;
    return true;
  }
}

bool DeleteChildFile(HeldDirectory parent, const char* name) {
  return DeleteChild(parent, name, FILE_NON_DIRECTORY_FILE);
}

bool RemoveChildDirectory(HeldDirectory parent, const char* name) {
  return DeleteChild(parent, name, FILE_DIRECTORY_FILE);
}

void CloseHeldDirectory(HeldDirectory directory) {
  if (directory == nullptr) return;
  CloseHandle(directory->directory);
  HeapFree(GetProcessHeap(), 0, directory);
}
