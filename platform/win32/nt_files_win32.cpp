#include "platform/win32/nt_files_win32.h"

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
