#include "tools/mkmedium/chunked_copy.h"

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

namespace {

constexpr std::size_t kChunkSize = std::size_t{1} << 20;

// Reads to the end in chunks, writing each: the source's length must come
// out exactly, neither short nor grown.
CopyResult CopyOpenFile(FileHandle in, FileHandle out, uint64_t length, bool stored,
                        CopyChunk* chunk, ProgressBar* bar) {
  uint64_t left = length;
  for (;;) {
    if (ReadStopRequest() != 0) return CopyResult::kStopped;
    const int64_t got = ReadFileBytes(in, chunk->data(), chunk->size());
    if (got < 0 || static_cast<uint64_t>(got) > left) return CopyResult::kSourceUnreadable;
    const auto count = static_cast<std::size_t>(got);
    if (stored) ComplementBytes(chunk->data(), count);
    if (!WriteFileBytes(out, chunk->data(), count)) return CopyResult::kWriteFailed;
    left -= count;
    if (bar != nullptr) AdvanceProgressBytes(bar, count);
    // A read short of the chunk met the end; a full one may have too, and
    // the next read tells it.
    if (count < chunk->size()) break;
  }
  return left == 0 ? CopyResult::kDone : CopyResult::kSourceUnreadable;
}

}  // namespace

CopyChunk MakeCopyChunk() { return CopyChunk(kChunkSize); }

CopyResult CopyFileInChunks(const char* from, const char* to, uint64_t length, bool stored,
                            CopyChunk* chunk, ProgressBar* bar, uint32_t* writeError) {
  FileHandle in = OpenFileForRead(from);
  if (in == nullptr) return CopyResult::kSourceUnreadable;
  FileHandle out = OpenFileForWrite(to, true);
  if (out == nullptr) {
    if (writeError != nullptr) *writeError = ReadLastError();
    CloseFile(in);
    return CopyResult::kWriteFailed;
  }
  CopyResult result = CopyOpenFile(in, out, length, stored, chunk, bar);
  // Why a write failed, before the closes and the removal set codes of their own.
  if (result == CopyResult::kWriteFailed && writeError != nullptr) *writeError = ReadLastError();
  CloseFile(in);
  // Closing a written file can report a late write failure.
  if (!CloseFile(out) && result == CopyResult::kDone) {
    result = CopyResult::kWriteFailed;
    if (writeError != nullptr) *writeError = ReadLastError();
  }
  if (result != CopyResult::kDone) DeleteFilePath(to);
  return result;
}
