// What stands behind a HeldDirectory on Windows: the open directory, its
// identity, whether a listing through it has begun, whether it was opened
// with delete access, whether its name ends in a dot or a blank (which Wine
// reads back without them), and the native calls that reach through it, looked up
// once for the directory and its children. Its name on the volume is read
// from the handle when a child is first checked and kept for the next
// children, until the walk goes down into a directory of it: so a deep tree
// costs reads in line with its directories, not the square of its depth,
// and only the deepest level holds a copy of a path that may be 32,767
// units long.
#pragma once

#include <windows.h>

#include "platform/platform_ops.h"
#include "platform/win32/nt_files_win32.h"

struct PlatformHeldDirectory {
  HANDLE directory;
  BY_HANDLE_FILE_INFORMATION identity;
  bool listing;
  bool deletable;
  bool dottedName;  // its name in its parent ends in a dot or a blank
  NtFileCalls calls;
  // Its own name on its volume while `named`; dropped when the walk goes
  // down into a child, and when it is renamed through its hold.
  bool named;
  VolumeName name;
};

// Takes over `directory` (INVALID_HANDLE_VALUE from a failed open included):
// held when it is a directory and no link or junction, else closed (nullptr,
// ERROR_ACCESS_DENIED, or ERROR_NOT_ENOUGH_MEMORY without a record). `known`
// are the calls already looked up, or nullptr; `deletable` says the handle
// has delete access.
HeldDirectory HoldOpenedDirectory(HANDLE directory, const NtFileCalls* known, bool deletable);
// Drops the name read of it, for a rename through its hold.
void ForgetHeldName(HeldDirectory directory);

// Whether `reached` is `parent`, one separator and `name`, or some of `name`
// with only dots and blanks cut from its end (Wine reads such names back
// without them); when `dottedParent`, the parent's last name may go on with
// dots and blanks. Every other name is compared exactly, letter case too.
bool IsParentAndName(const VolumeName& reached, const VolumeName& parent, bool dottedParent,
                     const HeldName& name);

// Deletes the file or directory open as `file` when it is closed: a
// read-only attribute is cleared first where that changes nothing outside
// the copy (a directory, or a file of one link), else the delete that
// ignores it is asked for. `info` is what the handle was found to be.
bool MarkForDeletion(const NtFileCalls& calls, HANDLE file, const BY_HANDLE_FILE_INFORMATION& info);
