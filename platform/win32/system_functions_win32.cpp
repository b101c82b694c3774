#include "platform/win32/system_functions_win32.h"

FARPROC FindSystemFunction(const char* module, const char* name) {
  HMODULE loaded = GetModuleHandleA(module);
  return loaded == nullptr ? nullptr : GetProcAddress(loaded, name);
}
