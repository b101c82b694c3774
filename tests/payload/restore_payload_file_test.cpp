#include <gtest/gtest.h>

#include <string>

#include "payload/file_pieces.h"
#include "payload/payload_tree.h"
#include "tests/support/test_tree.h"

namespace {

int Restore(const fs::path& source, const fs::path& destination, int noOverwrite = kNoOverwrite) {
  return RestorePayloadFile(source.string().c_str(), destination.string().c_str(), noOverwrite);
}

TEST(RestoreFile, TurnsStoredBytesBackAndIsItsOwnInverse) {
  ScratchDir dir;
  const Bytes real = PatternBytes(100003, 7);  // not a multiple of the word size
  WriteStored(dir.path / "stored", real);
  EXPECT_EQ(Restore(dir.path / "stored", dir.path / "real"), kRestoreDone);
  EXPECT_EQ(ReadBytes(dir.path / "real"), real);
  EXPECT_EQ(Restore(dir.path / "real", dir.path / "again"), kRestoreDone);
  EXPECT_EQ(ReadBytes(dir.path / "again"), ReadBytes(dir.path / "stored"));
}

// Lengths at each step of the complement (64 bytes, then words, then bytes)
// and either side of the whole-file bound and of two pieces: the read that
// asks one byte past the end falls into a piece of its own, or ends one.
TEST(RestoreFile, LengthsAtTheComplementAndPieceBoundsComeBackExactly) {
  ScratchDir dir;
  constexpr std::size_t kPiece = kFilePieceSize;
  for (const std::size_t length :
       {std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{9}, std::size_t{63},
        std::size_t{64}, std::size_t{65}, std::size_t{127}, kPiece - 2, kPiece - 1, kPiece,
        kPiece + 1, 2 * kPiece - 1, 2 * kPiece, 2 * kPiece + 1, 3 * kPiece + 63}) {
    const Bytes real = PatternBytes(length, static_cast<unsigned>(length));
    const fs::path stored = dir.path / ("stored" + std::to_string(length));
    WriteStored(stored, real);
    const fs::path restored = dir.path / ("real" + std::to_string(length));
    ASSERT_EQ(Restore(stored, restored), kRestoreDone) << length;
    EXPECT_EQ(ReadBytes(restored), real) << length;
    // A file of pieces is never written over what stands at its name.
    WriteBytes(restored, TextBytes("the user's own"));
    EXPECT_EQ(Restore(stored, restored), kRestoreDestinationExists) << length;
    EXPECT_EQ(ReadBytes(restored), TextBytes("the user's own")) << length;
  }
}

// Both passes at every alignment and at every length across their steps: the
// one the processor takes (SSE2 on these machines) and the words of a
// processor without it, which stop before the last 0 to 15 bytes.
TEST(RestoreFile, ComplementTurnsExactlyItsBytesAtAnyStart) {
  const Bytes real = PatternBytes(200, 3);
  for (std::size_t start = 0; start < 16; ++start) {
    for (std::size_t length = 0; start + length <= real.size(); ++length) {
      Bytes expected = real;
      for (std::size_t i = start; i < start + length; ++i) {
        expected[i] = static_cast<unsigned char>(~expected[i]);
      }
      Bytes bytes = real;
      ComplementBytes(bytes.data() + start, length);
      ASSERT_EQ(bytes, expected) << start << " " << length;
      Bytes words = real;
      const std::size_t turned = ComplementWords(words.data() + start, length);
      ASSERT_EQ(turned, length - length % 16) << start << " " << length;
      ComplementBytes(words.data() + start + turned, length - turned);
      ASSERT_EQ(words, expected) << start << " " << length;
    }
  }
}

TEST(RestoreFile, EmptyAndAllOnesFiles) {
  ScratchDir dir;
  WriteBytes(dir.path / "empty", {});
  WriteBytes(dir.path / "ones", Bytes(4096, 0xFF));
  EXPECT_EQ(Restore(dir.path / "empty", dir.path / "empty.out"), kRestoreDone);
  EXPECT_EQ(Restore(dir.path / "ones", dir.path / "ones.out"), kRestoreDone);
  ASSERT_TRUE(fs::exists(dir.path / "empty.out"));
  EXPECT_EQ(fs::file_size(dir.path / "empty.out"), 0u);
  EXPECT_EQ(ReadBytes(dir.path / "ones.out"), Bytes(4096, 0x00));
}

TEST(RestoreFile, NeverOverwritesAFileOrADirectory) {
  ScratchDir dir;
  WriteStored(dir.path / "stored", TextBytes("new"));
  WriteBytes(dir.path / "present", TextBytes("old contents"));
  fs::create_directory(dir.path / "folder");
  EXPECT_EQ(Restore(dir.path / "stored", dir.path / "present"), kRestoreDestinationExists);
  EXPECT_EQ(ReadBytes(dir.path / "present"), TextBytes("old contents"));
  EXPECT_EQ(Restore(dir.path / "stored", dir.path / "folder"), kRestoreDestinationExists);
  EXPECT_TRUE(fs::is_directory(dir.path / "folder"));
  // Any flag but 1 allows overwriting.
  EXPECT_EQ(Restore(dir.path / "stored", dir.path / "present", 0), kRestoreDone);
  EXPECT_EQ(ReadBytes(dir.path / "present"), TextBytes("new"));
}

TEST(RestoreFile, MissingSourceWritesNothing) {
  ScratchDir dir;
  EXPECT_EQ(Restore(dir.path / "absent", dir.path / "out"), kRestoreSourceUnreadable);
  EXPECT_FALSE(fs::exists(dir.path / "out"));
  // A directory where the destination's parent should be: nothing written.
  WriteStored(dir.path / "stored", TextBytes("x"));
  EXPECT_EQ(Restore(dir.path / "stored", dir.path / "no" / "such" / "out"), kRestoreDone);
  EXPECT_FALSE(fs::exists(dir.path / "no"));
  // A file the walk listed may be a directory by the time it is restored.
  fs::create_directory(dir.path / "replaced");
  EXPECT_EQ(Restore(dir.path / "replaced", dir.path / "replaced.out"), kRestoreSourceUnreadable);
  EXPECT_FALSE(fs::exists(dir.path / "replaced.out"));
}

}  // namespace
