// The loop that carries every file's bytes, called directly with buffers of
// any size: on every build, so the Windows code runs it too. A length unlike
// the file's is a file that changed between its size and its read.
#include "payload/file_pieces.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_tree.h"

namespace {

// Keeps what the loop handed on; refuses the piece numbered `stopAt`.
struct Collected {
  Bytes bytes;
  int pieces;
  int stopAt;
};

bool Collect(void* taker, unsigned char* bytes, std::size_t count) {
  auto* collected = static_cast<Collected*>(taker);
  if (collected->pieces++ == collected->stopAt) return false;
  collected->bytes.insert(collected->bytes.end(), bytes, bytes + count);
  return true;
}

struct Carried {
  PieceEnd end;
  FileLoss loss;
  Collected collected;
};

Carried Carry(const fs::path& file, uint64_t length, std::size_t capacity, int stopAt = -1) {
  Carried run = {PieceEnd::kSourceFailed, {kLossNone, 0}, {{}, 0, stopAt}};
  FileHandle source = OpenFileForRead(file.string().c_str());
  if (source == nullptr) return run;
  Bytes buffer(capacity);
  run.end = CarryFilePieces(source, length, buffer.data(), capacity, true, Collect, &run.collected,
                            &run.loss);
  CloseFile(source);
  return run;
}

// Buffers of one byte, of a few, and of the whole file and the byte past it:
// the same real bytes, each piece a full buffer but the last, and an empty
// file one empty piece.
TEST(FilePieces, AnyBufferCarriesTheSameBytesInWholePieces) {
  ScratchDir dir;
  for (const std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{6}, std::size_t{7},
                                   std::size_t{8}, std::size_t{5000}}) {
    const Bytes real = PatternBytes(length, static_cast<unsigned>(length) + 11);
    const fs::path stored = dir.path / std::to_string(length);
    WriteStored(stored, real);
    for (const std::size_t capacity : {std::size_t{1}, std::size_t{7}, length + 1}) {
      const Carried run = Carry(stored, length, capacity);
      ASSERT_EQ(run.end, PieceEnd::kCarried) << length << " through " << capacity;
      EXPECT_EQ(run.collected.bytes, real) << length << " through " << capacity;
      const std::size_t pieces = length == 0 ? 1 : (length + capacity - 1) / capacity;
      EXPECT_EQ(run.collected.pieces, static_cast<int>(pieces))
          << length << " through " << capacity;
    }
  }
  EXPECT_EQ(FindPieceCapacity(0), 1u);
  EXPECT_EQ(FindPieceCapacity(kFilePieceSize - 1), kFilePieceSize);
  EXPECT_EQ(FindPieceCapacity(kFilePieceSize), kFilePieceSize);
  EXPECT_EQ(FindPieceCapacity(uint64_t{5} << 32), kFilePieceSize);
}

// Grown or shrunk by a byte in the first piece, at a piece's end, or in a
// later piece: the loop ends on it, never handing on a byte past the length
// it was told. A length 4 GiB longer is no length a 32-bit count may cut to
// the file's own.
TEST(FilePieces, AFileThatChangedEndsTheLoopAsSuch) {
  ScratchDir dir;
  constexpr std::size_t kPiece = 64;
  constexpr uint64_t k4GiB = uint64_t{1} << 32;
  for (const std::size_t actual : {std::size_t{10}, kPiece, 2 * kPiece + 7}) {
    WriteStored(dir.path / "stored", PatternBytes(actual, 3));
    for (const uint64_t told : {uint64_t{actual} - 1, uint64_t{actual} + 1, actual + k4GiB}) {
      for (const std::size_t capacity : {kPiece, actual + 1}) {
        const Carried run = Carry(dir.path / "stored", told, capacity);
        EXPECT_EQ(run.end, PieceEnd::kSourceFailed) << actual << " told " << told;
        EXPECT_EQ(run.loss.kind, kLossChangedWhileRead) << actual << " told " << told;
        EXPECT_LE(run.collected.bytes.size(), told) << actual << " told " << told;
      }
    }
  }
}

TEST(FilePieces, ATakerThatStopsEndsTheLoopThere) {
  ScratchDir dir;
  WriteStored(dir.path / "stored", PatternBytes(100, 4));
  const Carried run = Carry(dir.path / "stored", 100, 10, 3);
  EXPECT_EQ(run.end, PieceEnd::kTakerStopped);
  EXPECT_EQ(run.collected.pieces, 4);
  EXPECT_EQ(run.collected.bytes, Bytes(PatternBytes(30, 4)));
  EXPECT_EQ(run.loss.kind, kLossNone);
}

}  // namespace
