// Functions that older Windows lacks, looked up in a system DLL every process
// has loaded (kernel32, ntdll) instead of imported: an import the system
// lacks would stop the program before its first line.
#pragma once

#include <windows.h>

// Null when the module is not loaded or has no such function. Never loads a
// DLL: a load by bare name could find one beside the program.
FARPROC FindSystemFunction(const char* module, const char* name);

// The same, as the function's own type.
template <typename Call>
Call FindSystemCall(const char* module, const char* name) {
  return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(FindSystemFunction(module, name)));
}
