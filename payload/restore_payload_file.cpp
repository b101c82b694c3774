#include <cstddef>
#include <cstdint>

#include "payload/file_pieces.h"
#include "payload/payload_tree.h"
#include "payload/restore_steps.h"
#include "platform/platform_ops.h"

namespace {

// One file's restore as the loop carries it: the destination is made only
// once the first piece has read as the size says, and takes its name only
// once whole, so that no run, however it ends, leaves a file cut short.
struct RestoredFile {
  const char* destination;
  bool mustBeNew;
  uint64_t length;
  PendingFile written;  // its file null until made, and again once discarded
  int result;           // when the taker stopped the loop
  FileLoss* loss;
};

bool WriteRestoredPiece(void* taker, unsigned char* bytes, std::size_t count) {
  auto* file = static_cast<RestoredFile*>(taker);
  // A destination that cannot be created is passed over, as the walk expects.
  if (file->written.file == nullptr &&
      !CreateRestoredFile(file->destination, file->mustBeNew, &file->written, file->loss)) {
    return false;
  }
  if (WriteRestoredBytes(&file->written, file->destination, bytes, count, file->length,
                         file->loss)) {
    return true;
  }
  file->written.file = nullptr;  // discarded
  file->result = kRestoreWriteFailed;
  return false;
}

// The buffer of the whole file, or of one piece; a smaller one when that
// cannot be had, as the loop takes any.
unsigned char* AllocateRestoreBuffer(uint64_t length, std::size_t* capacity) {
  *capacity = FindPieceCapacity(length);
  void* buffer = AllocateFileBuffer(*capacity);
  if (buffer == nullptr && *capacity > kSmallestPieceSize) {
    *capacity = kSmallestPieceSize;
    buffer = AllocateFileBuffer(*capacity);
  }
  return static_cast<unsigned char*>(buffer);
}

// Its size comes from the file opened, which spares a look-up of the path.
int RestoreOpenFile(FileHandle file, const char* destination, bool mustBeNew, FileLoss* loss) {
  RestoredFile restored = {destination, mustBeNew, 0, {nullptr, false}, kRestoreDone, loss};
  std::size_t capacity = 0;
  unsigned char* buffer = nullptr;
  if (!ReadFileSize(file, &restored.length)) {
    NoteLoss(loss, kLossSystemError, ReadLastError());
  } else if ((buffer = AllocateRestoreBuffer(restored.length, &capacity)) == nullptr) {
    NoteLoss(loss, kLossSystemError, kErrorNotEnoughMemory);
  }
  if (buffer == nullptr) {
    CloseFile(file);
    return kRestoreSourceUnreadable;
  }
  const PieceEnd end = CarryFilePieces(file, restored.length, buffer, capacity, true,
                                       WriteRestoredPiece, &restored, loss);
  CloseFile(file);
  ReleaseFileBuffer(buffer, capacity);
  switch (end) {
    case PieceEnd::kCarried:
      return FinishRestoredFile(&restored.written, destination, loss);
    case PieceEnd::kSourceFailed:
      if (restored.written.file != nullptr) AbandonRestoredFile(&restored.written, destination);
      return kRestoreSourceUnreadable;
    case PieceEnd::kTakerStopped:
      break;
  }
  return restored.result;
}

}  // namespace

int RestorePayloadFile(const char* source, const char* destination, int noOverwrite) {
  FileLoss loss = {kLossNone, 0};
  return RestorePayloadFileNotingLoss(source, destination, noOverwrite, &loss);
}

int RestorePayloadFileNotingLoss(const char* source, const char* destination, int noOverwrite,
                                 FileLoss* loss) {
  *loss = {kLossNone, 0};
  DirEntry found;
  // Before the source is even opened: an existing destination is left alone.
  if (noOverwrite == kNoOverwrite && LookUpPath(destination, &found)) {
    return kRestoreDestinationExists;
  }
  FileHandle file = OpenFileForRead(source);
  if (file == nullptr) {
    NoteLoss(loss, kLossSystemError, ReadLastError());
    return kRestoreSourceUnreadable;
  }
  return RestoreOpenFile(file, destination, noOverwrite == kNoOverwrite, loss);
}
