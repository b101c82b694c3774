#include "tools/mkmedium/chunked_copy.h"

#include "payload/file_pieces.h"
#include "platform/platform_ops.h"

namespace {

struct CopiedFile {
  FileHandle out;
  ProgressBar* bar;
  CopyResult stopped;  // why the taker ended the loop
};

bool WriteCopiedPiece(void* taker, unsigned char* bytes, std::size_t count) {
  auto* copied = static_cast<CopiedFile*>(taker);
  if (!WriteFileBytes(copied->out, bytes, count)) {
    copied->stopped = CopyResult::kWriteFailed;
    return false;
  }
  if (copied->bar != nullptr) AdvanceProgressBytes(copied->bar, count);
  copied->stopped = CopyResult::kStopped;
  return ReadStopRequest() == 0;
}

}  // namespace

CopyChunk MakeCopyChunk() { return CopyChunk(kFilePieceSize); }

CopyResult CopyFileInChunks(const char* from, const char* to, uint64_t length, bool stored,
                            CopyChunk* chunk, ProgressBar* bar, uint32_t* error) {
  FileHandle in = OpenFileForRead(from);
  if (in == nullptr) {
    if (error != nullptr) *error = ReadLastError();
    return CopyResult::kSourceUnreadable;
  }
  CopiedFile copied = {OpenFileForWrite(to, true), bar, CopyResult::kDone};
  if (copied.out == nullptr) {
    if (error != nullptr) *error = ReadLastError();
    CloseFile(in);
    return CopyResult::kWriteFailed;
  }
  FileLoss loss = {kLossNone, 0};
  CopyResult result = CopyResult::kDone;
  switch (CarryFilePieces(in, length, chunk->data(), chunk->size(), stored, WriteCopiedPiece,
                          &copied, &loss)) {
    case PieceEnd::kCarried:
      break;
    case PieceEnd::kSourceFailed:
      result = CopyResult::kSourceUnreadable;
      if (error != nullptr) *error = loss.error;
      break;
    case PieceEnd::kTakerStopped:
      result = copied.stopped;
      break;
  }
  // Why a write failed, before the closes and the removal set codes of their own.
  if (result == CopyResult::kWriteFailed && error != nullptr) *error = ReadLastError();
  CloseFile(in);
  // Closing a written file can report a late write failure.
  if (!CloseFile(copied.out) && result == CopyResult::kDone) {
    result = CopyResult::kWriteFailed;
    if (error != nullptr) *error = ReadLastError();
  }
  if (result != CopyResult::kDone) DeleteFilePath(to);
  return result;
}
