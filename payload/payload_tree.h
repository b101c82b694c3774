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

// Walks `source` depth first and restores every file under `target`, leaving
// the launcher out and giving the installer its runnable name. Returns 1.
int CopyPayloadTree(const char* source, const char* target);

// The name a file entry of the medium is restored under: the installer's
// runnable name for the stored installer, nullptr for the launcher itself
// (never restored), and the listed name for every other file.
const char* RestoredFileName(const char* listedName);

int RestorePayloadFile(const char* source, const char* destination, int noOverwrite);

// Turns stored bytes into real ones and back: the transform is its own inverse.
void ComplementBytes(unsigned char* bytes, std::size_t count);

// Deletes everything below a held directory through its handle, links
// removed as links and never followed, no other file system entered, at any
// depth. True when nothing is left in it.
bool EmptyHeldTree(HeldDirectory directory);
// Empties the run's held copy, lets go of it, and removes the folder itself
// when it is empty and still the one held. Returns 1.
int RemoveTemporaryCopy(HeldDirectory copy, const char* path);
// Deletes a directory and everything below it, the same way. Returns 1.
int RemoveTree(const char* directory);
