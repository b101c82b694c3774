// What stands behind a HeldDirectory on Windows: the open directory, its
// identity, its name on the volume (to tell that what is opened through it
// lies in it), whether a listing through it has begun, and the native calls
// that reach through it, looked up once for the directory and its children.
#pragma once

#include <windows.h>

#include "platform/platform_ops.h"
#include "platform/win32/nt_files_win32.h"

// Longer than any path: a copy an installer deepened past a path's length is
// still reached through its handles.
constexpr USHORT kHeldNameUnits = 1024;

struct PlatformHeldDirectory {
  HANDLE directory;
  BY_HANDLE_FILE_INFORMATION identity;
  bool listing;
  USHORT nameUnits;
  WCHAR name[kHeldNameUnits];
  NtFileCalls calls;
};

// Takes over `directory` (INVALID_HANDLE_VALUE from a failed open included):
// held when it is a directory and no link or junction, else closed (nullptr,
// ERROR_ACCESS_DENIED, or ERROR_NOT_ENOUGH_MEMORY without a record). `known`
// are the calls already looked up, or nullptr.
HeldDirectory HoldOpenedDirectory(HANDLE directory, const NtFileCalls* known);
