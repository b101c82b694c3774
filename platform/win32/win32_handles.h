// Our opaque handle types are Windows handles here, carried as pointers.
#pragma once

#include <windows.h>

#include "platform/platform_ops.h"

template <typename Handle>
Handle FromWin32Handle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<Handle>(handle);
}

template <typename Handle>
HANDLE ToWin32Handle(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

inline SECURITY_ATTRIBUTES ToSecurityAttributes(const SecurityRecord& record) {
  SECURITY_ATTRIBUTES attributes;
  attributes.nLength = record.length;
  attributes.lpSecurityDescriptor = record.descriptor;
  attributes.bInheritHandle = record.inheritHandle;
  return attributes;
}

void FillEntryFromFindData(const WIN32_FIND_DATAA& found, DirEntry* entry);

// The elevated run's access list for its temporary copy, in the system's
// text form; built into a descriptor to be released with LocalFree.
constexpr char kAdministratorsOnlyAccess[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
bool BuildAdministratorsOnlyDescriptor(PSECURITY_DESCRIPTOR* descriptor);
