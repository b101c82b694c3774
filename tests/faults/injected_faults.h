// Faults injected into the real POSIX platform: the link step wraps the
// platform's file calls, and a test arms one fault at the n-th such call.
#pragma once

#include <cstddef>
#include <string>

enum class FaultKind {
  kNone,
  kAllocate,       // no memory for the file's buffer
  kOpenRead,       // the source cannot be opened
  kReadSize,       // the open source's size cannot be had
  kReadError,      // the read fails
  kReadShrunk,     // the file shrank after its look-up
  kReadGrown,      // the file grew after its look-up
  kOpenWrite,      // the destination cannot be created
  kWriteFails,     // the disk fills up halfway through the write
  kCloseFails,     // a late write error reported by the close
  kListing,        // a directory of the medium cannot be listed
  kMakeDirectory,  // a target subdirectory cannot be created
  kListingBreaks,  // readdir fails (EIO) partway through a folder of the medium
  kEntryUnread,    // a listed entry of unknown kind whose details cannot be read
  kLockWindow,     // the copy at `faultedPath` removed and made anew just before its flock
};

struct FaultPlan {
  FaultKind kind;
  int armedAt;  // the call of that kind that fails, counted from 0
  int calls;    // calls of that kind seen so far
  bool fired;
  std::string faultedPath;  // the directory of a listing or creation fault
  // Larger allocations fail, whatever is armed (0: none): a crowded address
  // space, which has no room left for a large file's buffer.
  std::size_t allocationCap;
};

FaultPlan& Faults();
void ArmFault(FaultKind kind, int armedAt);
void CapAllocations(std::size_t largest);
