// The steps of one file's restore around the loop that carries its bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

// Notes why the file did not come back.
void NoteLoss(FileLoss* loss, int kind, uint32_t error);

// Creates the restored file; nullptr, with the loss noted, when it cannot be
// made (the walk passes over it, with result 0).
FileHandle CreateRestoredFile(const char* destination, bool mustBeNew, FileLoss* loss);
// Writes real bytes to it, of a file `fileLength` long. On failure the
// partial copy is closed and deleted and the loss noted: a truncated copy
// would be kept by every later run.
bool WriteRestoredBytes(FileHandle written, const char* destination, const unsigned char* bytes,
                        std::size_t count, uint64_t fileLength, FileLoss* loss);
// Closes it: kRestoreDone, or kRestoreWriteFailed when the close reports a
// late write failure, the copy then deleted.
int FinishRestoredFile(FileHandle written, const char* destination, FileLoss* loss);
// Takes away a copy whose source turned out unreadable or changed.
void AbandonRestoredFile(FileHandle written, const char* destination);
