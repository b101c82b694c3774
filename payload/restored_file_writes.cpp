#include "payload/restore_steps.h"

void NoteLoss(FileLoss* loss, int kind, uint32_t error) { *loss = {kind, error}; }

FileHandle CreateRestoredFile(const char* destination, bool mustBeNew, FileLoss* loss) {
  FileHandle written = OpenFileForWrite(destination, mustBeNew);
  if (written == nullptr) NoteLoss(loss, kLossSystemError, ReadLastError());
  return written;
}

bool WriteRestoredBytes(FileHandle written, const char* destination, const unsigned char* bytes,
                        std::size_t count, FileLoss* loss) {
  if (WriteFileBytes(written, bytes, count)) return true;
  // Read before the close and the deletion can set another.
  NoteLoss(loss, kLossSystemError, ReadLastError());
  AbandonRestoredFile(written, destination);
  return false;
}

int FinishRestoredFile(FileHandle written, const char* destination, FileLoss* loss) {
  if (CloseFile(written)) return kRestoreDone;
  NoteLoss(loss, kLossSystemError, ReadLastError());
  DeleteFilePath(destination);
  return kRestoreWriteFailed;
}

void AbandonRestoredFile(FileHandle written, const char* destination) {
  CloseFile(written);
  DeleteFilePath(destination);
}
