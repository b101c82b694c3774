// Listing one directory the same way in every walk, the launcher's and the
// tool's: every entry but "." and "..", and how the listing ended, so that
// no walk passes over a listing that broke off or an entry it could not
// look up.
#pragma once

#include <cstdint>

#include "common/paths.h"
#include "platform/platform_ops.h"

struct ListingEnd {
  bool opened;     // false: the directory could not be listed at all
  uint32_t error;  // 0 when every entry came; else why it did not open, or broke off
  int leftOut;     // names no launcher path can spell, never handed on
};

// Takes one entry. `lookUpError` is 0, or why the look-up of an entry whose
// listing left its length unread failed: its length is then unknown.
using ListedEntryTaker = void (*)(void* taker, const DirEntry& entry, uint32_t lookUpError);

// Hands every entry of `directory` to `take`, in the system's order; with
// `lengths`, an entry whose listing left its length unread is looked up first.
ListingEnd WalkDirectoryListing(const char* directory, bool lengths, ListedEntryTaker take,
                                void* taker);
