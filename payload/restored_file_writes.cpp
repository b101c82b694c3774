#include "payload/restore_steps.h"

namespace {

// FAT32 holds no file past 4 GiB less one byte. Windows tells a write past
// that mark as a full disk, where it tells a file-size limit at all; Linux
// as a file too large. A full disk beyond the mark is one of the two, and
// either way that drive cannot hold the file.
constexpr uint64_t kLongestFat32File = 0xFFFFFFFF;

int FindWriteLossKind(uint32_t error, uint64_t fileLength) {
  if (error == kErrorFileTooLarge) return kLossTooLargeForTarget;
  if (error == kErrorDiskFull && fileLength > kLongestFat32File) return kLossTooLargeForTarget;
  return kLossSystemError;
}

}  // namespace

void NoteLoss(FileLoss* loss, int kind, uint32_t error) { *loss = {kind, error}; }

bool CreateRestoredFile(const char* destination, bool mustBeNew, PendingFile* written,
                        FileLoss* loss) {
  if (mustBeNew) {
    if (!CreatePendingFile(destination, written)) written->file = nullptr;
  } else {
    // A file that may replace what stands there is written at its name.
    *written = {OpenFileForWrite(destination, false), true};
  }
  if (written->file == nullptr) NoteLoss(loss, kLossSystemError, ReadLastError());
  return written->file != nullptr;
}

bool WriteRestoredBytes(PendingFile* written, const char* destination, const unsigned char* bytes,
                        std::size_t count, uint64_t fileLength, FileLoss* loss) {
  if (WriteFileBytes(written->file, bytes, count)) return true;
  // Read before the close and the deletion can set another.
  const uint32_t error = ReadLastError();
  NoteLoss(loss, FindWriteLossKind(error, fileLength), error);
  AbandonRestoredFile(written, destination);
  return false;
}

int FinishRestoredFile(PendingFile* written, const char* destination, FileLoss* loss) {
  if (NamePendingFile(written, destination)) return kRestoreDone;
  const uint32_t error = ReadLastError();
  // Another run, or the user, put a file there meanwhile: it stays, as one
  // found before the restore would.
  if (error == kErrorAlreadyExists || error == kErrorFileExists) return kRestoreDestinationExists;
  NoteLoss(loss, kLossSystemError, error);
  return kRestoreWriteFailed;
}

void AbandonRestoredFile(PendingFile* written, const char* destination) {
  DiscardPendingFile(written, destination);
}
