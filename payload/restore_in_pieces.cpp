#include "payload/restore_steps.h"

namespace {

// Reads, complements and writes one piece after the other. The destination
// is made only once the first piece has read as its size says, as the
// whole-file way makes it only after its read; a later piece that fails
// takes the partial copy away again.
int CopyPieces(FileHandle source, uint64_t length, const char* destination, bool mustBeNew,
               unsigned char* buffer, FileLoss* loss) {
  FileHandle written = nullptr;
  uint64_t left = length;
  for (;;) {
    // The last read asks one byte past the end, to notice a file that grew.
    const bool last = left < kRestorePieceSize;
    const std::size_t expected = last ? static_cast<std::size_t>(left) : kRestorePieceSize;
    const std::size_t asked = last ? expected + 1 : expected;
    const int64_t got = ReadFileBytes(source, buffer, asked);
    if (got != static_cast<int64_t>(expected)) {
      NoteLoss(loss, got < 0 ? kLossSystemError : kLossChangedWhileRead,
               got < 0 ? ReadLastError() : 0);
      if (written != nullptr) AbandonRestoredFile(written, destination);
      return kRestoreSourceUnreadable;
    }
    if (written == nullptr) {
      written = CreateRestoredFile(destination, mustBeNew, loss);
      if (written == nullptr) return kRestoreDone;
    }
    ComplementBytes(buffer, expected);
    if (!WriteRestoredBytes(written, destination, buffer, expected, length, loss)) {
      return kRestoreWriteFailed;
    }
    if (last) return FinishRestoredFile(written, destination, loss);
    left -= expected;
  }
}

}  // namespace

int RestoreInPieces(FileHandle file, uint64_t length, const char* destination, bool mustBeNew,
                    FileLoss* loss) {
  auto* buffer = static_cast<unsigned char*>(AllocateFileBuffer(kRestorePieceSize));
  int result = kRestoreSourceUnreadable;
  if (buffer == nullptr) {
    NoteLoss(loss, kLossSystemError, kErrorNotEnoughMemory);
  } else {
    result = CopyPieces(file, length, destination, mustBeNew, buffer, loss);
    ReleaseFileBuffer(buffer, kRestorePieceSize);
  }
  CloseFile(file);
  return result;
}
