// The restore of a file whose whole buffer cannot be had, called as the
// restore calls it once that allocation failed: on every build, so the
// Windows code runs it too. A length unlike the file's is a file that
// changed between its size and its read.
#include <gtest/gtest.h>

#include <string>

#include "payload/restore_steps.h"
#include "tests/support/test_tree.h"

namespace {

struct PieceRun {
  int result;
  FileLoss loss;
};

PieceRun RestorePieces(const fs::path& source, uint64_t length, const fs::path& destination) {
  PieceRun run = {-1, {kLossNone, 0}};
  FileHandle file = OpenFileForRead(source.string().c_str());
  if (file == nullptr) return run;
  run.result = RestoreInPieces(file, length, destination.string().c_str(), true, &run.loss);
  return run;
}

// Either side of one piece and of two: the read that asks one byte past the
// end falls into a piece of its own, or ends one.
TEST(RestoreInPieces, LengthsAroundThePieceComeBackAsTheWholeFileWay) {
  ScratchDir dir;
  constexpr std::size_t kPiece = kRestorePieceSize;
  for (const std::size_t length : {std::size_t{0}, std::size_t{1}, kPiece - 1, kPiece, kPiece + 1,
                                   2 * kPiece - 1, 2 * kPiece, 2 * kPiece + 1}) {
    const Bytes real = PatternBytes(length, static_cast<unsigned>(length) + 11);
    const std::string name = std::to_string(length);
    WriteStored(dir.path / ("stored" + name), real);
    const PieceRun run = RestorePieces(dir.path / ("stored" + name), length, dir.path / name);
    ASSERT_EQ(run.result, kRestoreDone) << length;
    EXPECT_EQ(run.loss.kind, kLossNone) << length;
    EXPECT_EQ(ReadBytes(dir.path / name), real) << length;
    ASSERT_EQ(RestorePayloadFile((dir.path / ("stored" + name)).string().c_str(),
                                 (dir.path / ("whole" + name)).string().c_str(), kNoOverwrite),
              kRestoreDone);
    EXPECT_EQ(ReadBytes(dir.path / name), ReadBytes(dir.path / ("whole" + name)))
        << "the two ways give other bytes at " << length;
  }
}

// Grown or shrunk by a byte in the first piece, at the boundary, or in a
// later piece after the destination was written: never a partial file. A
// length 4 GiB longer than the file is no length a 32-bit count may cut to
// the file's own.
TEST(RestoreInPieces, AFileThatChangedLeavesNoFile) {
  ScratchDir dir;
  constexpr std::size_t kPiece = kRestorePieceSize;
  constexpr uint64_t k4GiB = uint64_t{1} << 32;
  for (const std::size_t actual : {std::size_t{10}, kPiece, 2 * kPiece + 7}) {
    WriteStored(dir.path / "stored", PatternBytes(actual, 3));
    for (const uint64_t told : {uint64_t{actual} - 1, uint64_t{actual} + 1, actual + k4GiB}) {
      const fs::path out = dir.path / ("out" + std::to_string(told));
      const PieceRun run = RestorePieces(dir.path / "stored", told, out);
      EXPECT_EQ(run.result, kRestoreSourceUnreadable) << actual << " told " << told;
      EXPECT_EQ(run.loss.kind, kLossChangedWhileRead) << actual << " told " << told;
      EXPECT_FALSE(fs::exists(out)) << actual << " told " << told;
    }
  }
}

TEST(RestoreInPieces, NeverOverwritesAndTellsWhatStoodThere) {
  ScratchDir dir;
  WriteStored(dir.path / "stored", PatternBytes(kRestorePieceSize + 1, 4));
  WriteBytes(dir.path / "present", TextBytes("the user's own"));
  const PieceRun run =
      RestorePieces(dir.path / "stored", kRestorePieceSize + 1, dir.path / "present");
  EXPECT_EQ(run.result, kRestoreDone);
  EXPECT_EQ(run.loss.kind, kLossSystemError);
  EXPECT_NE(run.loss.error, 0u);
  EXPECT_EQ(ReadBytes(dir.path / "present"), TextBytes("the user's own"));
}

}  // namespace
