#include "platform/win32/nt_files_win32.h"

#include <cstddef>
#include <cstring>

#include "platform/win32/system_functions_win32.h"

namespace {

constexpr char kNtDll[] = "ntdll.dll";

}  // namespace

bool FindNtFileCalls(NtFileCalls* calls) {
  calls->createFile = FindSystemCall<NtCreateFileCall>(kNtDll, "NtCreateFile");
  calls->queryDirectory = FindSystemCall<NtQueryDirectoryFileCall>(kNtDll, "NtQueryDirectoryFile");
  calls->queryInformation = FindSystemCall<NtFileInformationCall>(kNtDll, "NtQueryInformationFile");
  calls->setInformation = FindSystemCall<NtFileInformationCall>(kNtDll, "NtSetInformationFile");
  calls->statusToError = FindSystemCall<StatusToErrorCall>(kNtDll, "RtlNtStatusToDosError");
  const bool found = calls->createFile != nullptr && calls->queryDirectory != nullptr &&
                     calls->queryInformation != nullptr && calls->setInformation != nullptr &&
                     calls->statusToError != nullptr;
  if (!found) SetLastError(ERROR_PROC_NOT_FOUND);
  return found;
}

bool FailWithStatus(const NtFileCalls& calls, NTSTATUS status) {
  SetLastError(calls.statusToError(status));
  return false;
}

bool OpenNtFile(const NtFileCalls& calls, const NtOpenRequest& request, HANDLE* opened) {
  UNICODE_STRING name;
  name.Length = static_cast<USHORT>(request.nameUnits * sizeof(WCHAR));
  name.MaximumLength = name.Length;
  name.Buffer = const_cast<WCHAR*>(request.name);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, request.root,
                             request.descriptor);
  IO_STATUS_BLOCK io = {};
  const NTSTATUS status =
      calls.createFile(opened, request.access, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                       request.share, request.disposition, request.options, nullptr, 0);
  if (status >= 0) return true;
  *opened = INVALID_HANDLE_VALUE;
  return FailWithStatus(calls, status);
}

bool WidenName(const char* name, WCHAR* out, int size, USHORT* units) {
  const int written = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, out, size);
  if (written <= 0) return false;
  *units = static_cast<USHORT>(written - 1);
  return true;
}

bool BuildNtPath(const char* path, WCHAR (&out)[kNtPathUnits], USHORT* units) {
  PathBuffer full;
  const DWORD length = GetFullPathNameA(path, kPathBufferSize, full, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(kPathBufferSize)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  // "\\?\C:\dir" and "\\.\C:\dir" are the drive's own; "\\?\UNC\server\share"
  // and "\\server\share" a share's. Only a bare "\\" starts a share.
  const char* rest = full;
  const WCHAR* prefix = L"\\??\\";
  const bool device =
      full[0] == '\\' && full[1] == '\\' && (full[2] == '?' || full[2] == '.') && full[3] == '\\';
  if (device) {
    rest = full + 4;
  } else if (full[0] == '\\' && full[1] == '\\') {
    rest = full + 2;
    prefix = L"\\??\\UNC\\";
  }
  const USHORT prefixUnits = static_cast<USHORT>(lstrlenW(prefix));
  std::memcpy(out, prefix, prefixUnits * sizeof(WCHAR));
  USHORT restUnits = 0;
  if (!WidenName(rest, out + prefixUnits, kNtPathUnits - prefixUnits, &restUnits)) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  *units = static_cast<USHORT>(prefixUnits + restUnits);
  return true;
}

bool ReadVolumeName(const NtFileCalls& calls, HANDLE file, VolumeName* name) {
  name->large = nullptr;
  auto* read = reinterpret_cast<FILE_NAME_INFORMATION*>(name->room);
  IO_STATUS_BLOCK io = {};
  NTSTATUS status =
      calls.queryInformation(file, &io, name->room, sizeof name->room, FileNameInformation);
  if (status == kStatusBufferOverflow) {
    // Sized from the length reported; a name that grew in between fails.
    const ULONG size = offsetof(FILE_NAME_INFORMATION, FileName) + read->FileNameLength;
    name->large = static_cast<FILE_NAME_INFORMATION*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (name->large == nullptr) return false;
    read = name->large;
    status = calls.queryInformation(file, &io, read, size, FileNameInformation);
  }
  if (status != 0) {
    ReleaseVolumeName(name);
    return false;
  }
  name->units = read->FileName;
  name->count = read->FileNameLength / sizeof(WCHAR);
  return true;
}

void ReleaseVolumeName(VolumeName* name) {
  if (name->large != nullptr) HeapFree(GetProcessHeap(), 0, name->large);
  name->large = nullptr;
}

bool RenameNtFile(const NtFileCalls& calls, HANDLE file, const char* path) {
  // The whole NT path: Windows and Wine both take it, where a bare name is
  // not taken by Wine.
  alignas(FILE_RENAME_INFORMATION)
      BYTE buffer[sizeof(FILE_RENAME_INFORMATION) + kNtPathUnits * sizeof(WCHAR)];
  auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer);
  USHORT units = 0;
  if (!BuildNtPath(path, *reinterpret_cast<WCHAR(*)[kNtPathUnits]>(rename->FileName), &units)) {
    return false;
  }
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = units * sizeof(WCHAR);
  IO_STATUS_BLOCK io = {};
  const NTSTATUS status = calls.setInformation(
      file, &io, rename,
      static_cast<ULONG>(offsetof(FILE_RENAME_INFORMATION, FileName) + rename->FileNameLength),
      FileRenameInformation);
  return status >= 0 || FailWithStatus(calls, status);
}

bool MarkNtFileDeleted(const NtFileCalls& calls, HANDLE file, bool deleted) {
  FILE_DISPOSITION_INFORMATION dispose = {static_cast<BOOLEAN>(deleted ? TRUE : FALSE)};
  IO_STATUS_BLOCK io = {};
  const NTSTATUS status =
      calls.setInformation(file, &io, &dispose, sizeof dispose, FileDispositionInformation);
  return status >= 0 || FailWithStatus(calls, status);
}
