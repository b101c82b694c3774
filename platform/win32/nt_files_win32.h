// The native file calls that opens relative to a held directory need: the
// Win32 calls open by path only. Looked up in ntdll, which is mapped into
// every process before its first instruction, so no DLL search is involved.
#pragma once

#include <windows.h>
#include <winternl.h>

using NtCreateFileCall = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*,
                                          IO_STATUS_BLOCK*, LARGE_INTEGER*, ULONG, ULONG, ULONG,
                                          ULONG, void*, ULONG);
using NtQueryDirectoryFileCall = NTSTATUS(NTAPI*)(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*,
                                                  void*, ULONG, FILE_INFORMATION_CLASS, BOOLEAN,
                                                  UNICODE_STRING*, BOOLEAN);
using NtFileInformationCall = NTSTATUS(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG,
                                               FILE_INFORMATION_CLASS);
using StatusToErrorCall = ULONG(NTAPI*)(NTSTATUS);

struct NtFileCalls {
  NtCreateFileCall createFile;
  NtQueryDirectoryFileCall queryDirectory;
  NtFileInformationCall queryInformation;
  NtFileInformationCall setInformation;
  StatusToErrorCall statusToError;
};

constexpr NTSTATUS kStatusNoMoreFiles = static_cast<NTSTATUS>(0x80000006);

// False, with ERROR_PROC_NOT_FOUND, should ntdll lack one.
bool FindNtFileCalls(NtFileCalls* calls);

// What NtCreateFile is asked for; `root` null makes `name` an NT path.
struct NtOpenRequest {
  HANDLE root;
  const WCHAR* name;
  USHORT nameUnits;
  ACCESS_MASK access;
  ULONG share;
  ULONG disposition;
  ULONG options;
  void* descriptor;
};

// True with the handle, or false with the last error set from the status.
bool OpenNtFile(const NtFileCalls& calls, const NtOpenRequest& request, HANDLE* opened);
// Sets the last error from a failed status; false, for the caller to return.
bool FailWithStatus(const NtFileCalls& calls, NTSTATUS status);

// A narrow name of this system's code page in UTF-16; false when it does not
// convert whole or fit `size` units (with its terminator).
bool WidenName(const char* name, WCHAR* out, int size, USHORT* units);
