// Restoring the payload tree from its stored form, and removing a tree.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform_ops.h"

constexpr char kLauncherFileName[] = "setup.exe";
constexpr char kStoredInstallerFileName[] = "setup.xex";
constexpr char kInstallerFileName[] = "SETUP.EXE";

// Results of RestorePayloadFile: POSIX error numbers.
constexpr int kRestoreDone = 0;
constexpr int kRestoreSourceUnreadable = 2;    // ENOENT
constexpr int kRestoreWriteFailed = 5;         // EIO: the partial copy was deleted
constexpr int kRestoreDestinationExists = 17;  // EEXIST

constexpr int kNoOverwrite = 1;

// Why a file of the payload did not come back.
constexpr int kLossNone = 0;
constexpr int kLossSystemError = 1;        // the system refused: `error` says why
constexpr int kLossChangedWhileRead = 2;   // it grew or shrank between its size and its read
constexpr int kLossTooLargeForTarget = 3;  // the target's drive holds no file this long

struct FileLoss {
  int kind;
  uint32_t error;  // a Windows error code, for kLossSystemError
};

// The first loss of a walk and what was lost, as the medium spells it: a
// file, or a directory that could not be listed. Twice a path's room, so
// that a file whose path does not fit can still be named.
constexpr int kLostPathSize = 2 * kPathBufferSize;
struct PayloadLoss {
  FileLoss loss;
  char path[kLostPathSize];
};

// Walks `source` depth first and restores every file under `target`, leaving
// the launcher out and giving the installer its runnable name. Returns 1.
int CopyPayloadTree(const char* source, const char* target);
// The same walk, noting in `firstLoss` the first file that did not come
// back (kind kLossNone when every one did). What the walk leaves out on
// purpose (the launcher, linked directories) is no loss, nor is a
// destination that exists already and is kept. Returns 1.
int CopyPayloadTreeNotingLoss(const char* source, const char* target, PayloadLoss* firstLoss);

// The name a file entry of the medium is restored under: the installer's
// runnable name for the stored installer, nullptr for the launcher itself
// (never restored), and the listed name for every other file.
const char* RestoredFileName(const char* listedName);

int RestorePayloadFile(const char* source, const char* destination, int noOverwrite);
// The same restore, telling in `loss` why the file did not come back (kind
// kLossNone when it did, or when it was kept as it stood). The result stays
// RestorePayloadFile's: a destination that cannot be created is still 0.
int RestorePayloadFileNotingLoss(const char* source, const char* destination, int noOverwrite,
                                 FileLoss* loss);

// Turns stored bytes into real ones and back: the transform is its own inverse.
void ComplementBytes(unsigned char* bytes, std::size_t count);
// The same pass four 32-bit words a step, which ComplementBytes takes on a
// processor without vector registers: it stops before the last 0 to 15 bytes
// and returns how many it turned.
std::size_t ComplementWords(unsigned char* bytes, std::size_t count);

// Deletes everything below a held directory through its handle, links
// removed as links and never followed, no other file system entered, at any
// depth. True when nothing is left in it.
bool EmptyHeldTree(HeldDirectory directory);
// Empties the run's held copy, lets go of it, and removes the folder itself
// when it is empty and still the one held. Returns 1.
int RemoveTemporaryCopy(HeldDirectory copy, const char* path);
// Deletes a directory and everything below it, the same way. Returns 1.
int RemoveTree(const char* directory);
