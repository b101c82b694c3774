// The steps of one file's restore around the loop that carries its bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

// Notes why the file did not come back.
void NoteLoss(FileLoss* loss, int kind, uint32_t error);

// Creates the restored file, to take its name only once whole; false, with
// the loss noted, when it cannot be made (the walk passes over it, with
// result 0).
bool CreateRestoredFile(const char* destination, bool mustBeNew, PendingFile* written,
                        FileLoss* loss);
// Writes real bytes to it, of a file `fileLength` long. On failure the
// partial copy is discarded and the loss noted: a truncated copy would be
// kept by every later run.
bool WriteRestoredBytes(PendingFile* written, const char* destination, const unsigned char* bytes,
                        std::size_t count, uint64_t fileLength, FileLoss* loss);
// Names it and closes it: kRestoreDone; kRestoreDestinationExists when
// something took its name meanwhile (it stays); kRestoreWriteFailed when the
// close reports a late write failure, the copy then gone.
int FinishRestoredFile(PendingFile* written, const char* destination, FileLoss* loss);
// Takes away a copy whose source turned out unreadable or changed.
void AbandonRestoredFile(PendingFile* written, const char* destination);
