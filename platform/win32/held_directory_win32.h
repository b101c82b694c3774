// What stands behind a HeldDirectory on Windows: the open directory, its
// identity, its name on the volume (to tell that what is opened through it
// lies in it), and whether a listing through it has begun.
#pragma once

#include <windows.h>

#include "platform/platform_ops.h"

// Longer than any path: a copy an installer deepened past a path's length is
// still reached through its handles.
constexpr USHORT kHeldNameUnits = 1024;

struct PlatformHeldDirectory {
  HANDLE directory;
  BY_HANDLE_FILE_INFORMATION identity;
  bool listing;
  USHORT nameUnits;
  WCHAR name[kHeldNameUnits];
};

// Takes over `directory` (INVALID_HANDLE_VALUE from a failed open included):
// held when it is a directory and no link or junction, else closed (nullptr,
// ERROR_ACCESS_DENIED, or ERROR_NOT_ENOUGH_MEMORY without a record).
HeldDirectory HoldOpenedDirectory(HANDLE directory);
