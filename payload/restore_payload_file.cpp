#include <cstddef>
#include <cstdint>

#include "payload/payload_tree.h"
#include "payload/restore_steps.h"
#include "platform/platform_ops.h"

namespace {

// The fast way: one read of the whole file, one pass, one write. The read
// asks one byte past the length to notice a file that grew; a file that
// changes after its size was read reads one byte more, or fewer.
int RestoreThroughOneBuffer(FileHandle file, unsigned char* buffer, std::size_t length,
                            const char* destination, bool mustBeNew, FileLoss* loss) {
  const int64_t got = ReadFileBytes(file, buffer, length + 1);
  if (got != static_cast<int64_t>(length)) {
    NoteLoss(loss, got < 0 ? kLossSystemError : kLossChangedWhileRead,
             got < 0 ? ReadLastError() : 0);
    CloseFile(file);
    return kRestoreSourceUnreadable;
  }
  CloseFile(file);
  ComplementBytes(buffer, length);
  FileHandle written = CreateRestoredFile(destination, mustBeNew, loss);
  // A destination that cannot be created is passed over, as the walk expects.
  if (written == nullptr) return kRestoreDone;
  if (!WriteRestoredBytes(written, destination, buffer, length, length, loss)) {
    return kRestoreWriteFailed;
  }
  return FinishRestoredFile(written, destination, loss);
}

// Its size comes from the file opened, which spares a look-up of the path.
int RestoreOpenFile(FileHandle file, const char* destination, bool mustBeNew, FileLoss* loss) {
  uint64_t size = 0;
  if (!ReadFileSize(file, &size)) {
    NoteLoss(loss, kLossSystemError, ReadLastError());
    CloseFile(file);
    return kRestoreSourceUnreadable;
  }
  // The buffer holds the file and the byte past it. No room for that at
  // once (a 32-bit address space holds at most 2 to 4 GiB, cut up by the
  // DLLs every process loads, and cannot even count 4 GiB): the same bytes
  // a piece at a time.
  const bool countable = size < SIZE_MAX;
  const std::size_t capacity = countable ? static_cast<std::size_t>(size) + 1 : 0;
  auto* buffer = static_cast<unsigned char*>(countable ? AllocateFileBuffer(capacity) : nullptr);
  if (buffer == nullptr) return RestoreInPieces(file, size, destination, mustBeNew, loss);
  const int result =
      RestoreThroughOneBuffer(file, buffer, capacity - 1, destination, mustBeNew, loss);
  ReleaseFileBuffer(buffer, capacity);
  return result;
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
