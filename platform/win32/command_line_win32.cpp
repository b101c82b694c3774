#include "common/command_tail.h"
#include "platform/win32/system_functions_win32.h"
#include "platform/win32/win32_handles.h"

namespace {

bool IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

// Windows 7 and 8 have it only with an update: looked up, not imported.
using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
constexpr DWORD kSearchSystemDirectoryOnly = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

}  // namespace

// The C runtime's start-up cuts the tail by a rule of its own; the launcher
// takes it from the full command line by its own rule instead.
const char* ReadCommandTail(const char* /*entryTail*/) {
  return FindCommandTail(GetCommandLineA(), IsAnsiLeadByte);
}

// The launcher's switches are the five it has always had.
bool IsPlatformHelpSwitch(const char* /*argument*/) { return false; }

// A message box alone loads theme and input DLLs by bare name, which the
// default search would find beside the program first: on a medium a user
// did not make, run elevated. The setting is the process's own; a started
// program searches as it would have.
void RestrictLibrarySearch() {
  auto restrict =
      FindSystemCall<SetDefaultDllDirectoriesCall>("kernel32.dll", "SetDefaultDllDirectories");
  if (restrict != nullptr) restrict(kSearchSystemDirectoryOnly);
}
