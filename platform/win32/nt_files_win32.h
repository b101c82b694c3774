// The native file calls that opens relative to a held directory need: the
// Win32 calls open by path only. Looked up in ntdll, which is mapped into
// every process before its first instruction, so no DLL search is involved.
#pragma once

#include <windows.h>
#include <winternl.h>

#include "common/paths.h"

using NtCreateFileCall = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*,
                                          IO_STATUS_BLOCK*, LARGE_INTEGER*, ULONG, ULONG, ULONG,
                                          ULONG, void*, ULONG);
using NtQueryDirectoryFileCall = NTSTATUS(NTAPI*)(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*,
                                                  void*, ULONG, FILE_INFORMATION_CLASS, BOOLEAN,
                                                  UNICODE_STRING*, BOOLEAN);
// The information class as a number: newer classes lie past the headers' enum.
using NtFileInformationCall = NTSTATUS(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
using StatusToErrorCall = ULONG(NTAPI*)(NTSTATUS);

struct NtFileCalls {
  NtCreateFileCall createFile;
  NtQueryDirectoryFileCall queryDirectory;
  NtFileInformationCall queryInformation;
  NtFileInformationCall setInformation;
  StatusToErrorCall statusToError;
};

constexpr NTSTATUS kStatusNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kStatusBufferOverflow = static_cast<NTSTATUS>(0x80000005);

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

// A launcher path as an NT path ("\??\C:\dir", "\??\UNC\server\share\dir"),
// made full first; a "\\?\" or "\\.\" spelling names a drive or share the
// same way. False (206, or 123 for a name the code page cannot widen) when
// it does not fit.
constexpr int kNtPathUnits = kPathBufferSize + 8;
bool BuildNtPath(const char* path, WCHAR (&out)[kNtPathUnits], USHORT* units);

// Renames the open file or directory to `path` (a launcher path), never
// replacing what stands there (183); it must be open with delete access.
bool RenameNtFile(const NtFileCalls& calls, HANDLE file, const char* path);
// Marks the open file for deletion when its last handle closes, or takes
// the mark back; it must be open with delete access.
bool MarkNtFileDeleted(const NtFileCalls& calls, HANDLE file, bool deleted);

// The name of an open file on its volume ("\dir\file"), as long as it is: a
// path may be 32,767 units, so a name that outgrows the room kept here is
// read again into a buffer of the length the system reported.
constexpr ULONG kNameRoomUnits = 260;
struct VolumeName {
  const WCHAR* units;
  ULONG count;
  FILE_NAME_INFORMATION* large;  // from the process heap, or null
  alignas(ULONG) BYTE room[sizeof(ULONG) + kNameRoomUnits * sizeof(WCHAR)];
};
// False when it cannot be read (then nothing is left to release).
bool ReadVolumeName(const NtFileCalls& calls, HANDLE file, VolumeName* name);
void ReleaseVolumeName(VolumeName* name);
