// Copying a file through one bounded buffer, a piece at a time, by the loop
// that restores a medium.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/mkmedium/progress_bar.h"

enum class CopyResult { kDone, kSourceUnreadable, kWriteFailed, kStopped };

using CopyChunk = std::vector<unsigned char>;

// The buffer that a run's copies share.
CopyChunk MakeCopyChunk();

// Copies `from` to the new file `to`, each byte complemented when `stored`.
// The source must read exactly `length` bytes: one that changed since it was
// listed counts as unreadable. A stop request ends it between chunks. A
// failed copy leaves no file at `to`. Each chunk written moves `bar`, when
// given. A failed read or write leaves its reason in `error`, when given: a
// system error code, or 0 for a source that changed while it was read.
CopyResult CopyFileInChunks(const char* from, const char* to, uint64_t length, bool stored,
                            CopyChunk* chunk, ProgressBar* bar, uint32_t* error = nullptr);
