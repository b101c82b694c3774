#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/payload_tree.h"
#include "tests/support/test_tree.h"

namespace {

void Copy(const fs::path& source, const fs::path& target) {
  EXPECT_EQ(CopyPayloadTree(source.string().c_str(), target.string().c_str()), 1);
}

// A medium with the names that matter, at the root and at depth.
void MakeMedium(const fs::path& medium) {
  WriteBytes(medium / "setup.exe", TextBytes("the launcher, never copied"));
  WriteStored(medium / "setup.xex", TextBytes("root installer"));
  WriteStored(medium / "readme.txt", TextBytes("read me"));
  WriteStored(medium / "empty.bin", {});
  WriteBytes(medium / "ones.bin", Bytes(513, 0xFF));
  WriteStored(medium / "sub" / "SETUP.XEX", TextBytes("deep installer"));
  WriteBytes(medium / "sub" / "deeper" / "Setup.Exe", TextBytes("another launcher"));
  WriteStored(medium / "sub" / "deeper" / "data.dat", PatternBytes(70000, 3));
  WriteStored(medium / "setup.exe.d" / "x", TextBytes("x"));
  fs::create_directories(medium / "emptydir");
  // A directory named like the launcher is copied like any other.
  WriteStored(medium / "other" / "setup.exe" / "inside.txt", TextBytes("kept"));
}

TEST(CopyTree, RestoresEveryFileAndHandlesTheSpecialNames) {
  ScratchDir medium;
  ScratchDir target;
  MakeMedium(medium.path);
  Copy(medium.path, target.path);

  const std::vector<std::string> expected = {"SETUP.EXE",
                                             "empty.bin",
                                             "emptydir/",
                                             "ones.bin",
                                             "other/",
                                             "other/setup.exe/",
                                             "other/setup.exe/inside.txt",
                                             "readme.txt",
                                             "setup.exe.d/",
                                             "setup.exe.d/x",
                                             "sub/",
                                             "sub/SETUP.EXE",
                                             "sub/deeper/",
                                             "sub/deeper/data.dat"};
  EXPECT_EQ(ListTree(target.path), expected);
  EXPECT_EQ(ReadBytes(target.path / "SETUP.EXE"), TextBytes("root installer"));
  EXPECT_EQ(ReadBytes(target.path / "sub" / "SETUP.EXE"), TextBytes("deep installer"));
  EXPECT_EQ(ReadBytes(target.path / "ones.bin"), Bytes(513, 0x00));
  EXPECT_EQ(fs::file_size(target.path / "empty.bin"), 0u);
  EXPECT_EQ(ReadBytes(target.path / "sub" / "deeper" / "data.dat"), PatternBytes(70000, 3));
}

TEST(CopyTree, LeavesWhatTheTargetHoldsAlready) {
  ScratchDir medium;
  ScratchDir target;
  WriteStored(medium.path / "a.txt", TextBytes("from medium"));
  WriteStored(medium.path / "b.txt", TextBytes("from medium"));
  WriteStored(medium.path / "d" / "c.txt", TextBytes("from medium"));
  WriteBytes(target.path / "a.txt", TextBytes("user's own"));
  fs::create_directories(target.path / "b.txt");
  fs::create_directories(target.path / "d");
  Copy(medium.path, target.path);
  EXPECT_EQ(ReadBytes(target.path / "a.txt"), TextBytes("user's own"));
  EXPECT_TRUE(fs::is_directory(target.path / "b.txt"));
  EXPECT_EQ(ReadBytes(target.path / "d" / "c.txt"), TextBytes("from medium"));
}

TEST(CopyTree, SkipsEntriesWhosePathsDoNotFitAndGoesOn) {
  ScratchDir medium;
  ScratchDir scratch;
  // A target longer than the medium's path, so that a name fits the source
  // side but not the target side.
  const fs::path target = scratch.path / std::string(40, 't');
  fs::create_directories(target);
  const std::size_t room = 259 - target.string().size() - 1;
  ASSERT_LE(room + 1, 255u);
  const std::string fits(room, 'f');
  const std::string tooLong(room + 1, 'l');
  WriteStored(medium.path / fits, TextBytes("exactly fits"));
  WriteStored(medium.path / tooLong, TextBytes("too long"));
  WriteStored(medium.path / "n", TextBytes("n"));
  Copy(medium.path, target);
  EXPECT_EQ(ReadBytes(target / "n"), TextBytes("n"));
  EXPECT_EQ(ReadBytes(target / fits), TextBytes("exactly fits"));
  EXPECT_EQ(ListTree(target), (std::vector<std::string>{fits, "n"}));
}

TEST(CopyTree, MissingTargetWritesNothingAndUnlistableSourceReturns) {
  ScratchDir medium;
  ScratchDir scratch;
  WriteStored(medium.path / "a.txt", TextBytes("a"));
  Copy(medium.path, scratch.path / "absent");
  EXPECT_FALSE(fs::exists(scratch.path / "absent"));
  Copy(scratch.path / "no-such-source", scratch.path);
  EXPECT_TRUE(fs::is_empty(scratch.path));
}

TEST(CopyTree, DoesNotFollowLinkedDirectoriesInTheMedium) {
  ScratchDir medium;
  ScratchDir target;
  WriteStored(medium.path / "a" / "f", TextBytes("f"));
  std::error_code failed;
  fs::create_directory_symlink(medium.path, medium.path / "a" / "loop1", failed);
  fs::create_directory_symlink(medium.path, medium.path / "a" / "loop2", failed);
  if (failed) GTEST_SKIP() << "links cannot be made here";
  Copy(medium.path, target.path);
  EXPECT_EQ(ListTree(target.path), (std::vector<std::string>{"a/", "a/f"}));
}

}  // namespace

namespace {

PayloadLoss CopyNoting(const fs::path& source, const fs::path& target) {
  PayloadLoss lost = {{kLossNone, 0}, ""};
  EXPECT_EQ(CopyPayloadTreeNotingLoss(source.string().c_str(), target.string().c_str(), &lost), 1);
  return lost;
}

// The launcher left out at any depth and a file the target holds already
// are no loss; a file that cannot be made is.
TEST(CopyTreeLoss, OnlyAFileThatDidNotComeBackIsALoss) {
  ScratchDir medium;
  ScratchDir target;
  MakeMedium(medium.path);
  WriteBytes(target.path / "readme.txt", TextBytes("the user's own"));
  EXPECT_EQ(CopyNoting(medium.path, target.path).loss.kind, kLossNone);

  ScratchDir again;
  WriteStored(medium.path / "blocked" / "inside.txt", TextBytes("inside"));
  WriteBytes(again.path / "blocked", TextBytes("a file where the folder goes"));
  const PayloadLoss lost = CopyNoting(medium.path, again.path);
  EXPECT_EQ(lost.loss.kind, kLossSystemError);
  EXPECT_NE(lost.loss.error, 0u);
  EXPECT_EQ(std::string(lost.path), medium.Text() + "\\blocked\\inside.txt");
  EXPECT_EQ(ReadBytes(again.path / "sub" / "deeper" / "data.dat"), PatternBytes(70000, 3))
      << "the walk goes on after a loss";
}

TEST(CopyTreeLoss, APathThatDoesNotFitIsNamedWhole) {
  ScratchDir medium;
  ScratchDir scratch;
  const fs::path target = scratch.path / std::string(40, 't');
  fs::create_directories(target);
  const std::string tooLong(259 - target.string().size(), 'l');
  WriteStored(medium.path / tooLong, TextBytes("too long"));
  const PayloadLoss lost = CopyNoting(medium.path, target);
  EXPECT_EQ(lost.loss.kind, kLossSystemError);
  EXPECT_EQ(lost.loss.error, kErrorFilenameTooLong);
  EXPECT_EQ(std::string(lost.path), medium.Text() + "\\" + tooLong);
}

TEST(CopyTreeLoss, AnUnlistableSourceIsALoss) {
  ScratchDir scratch;
  const PayloadLoss lost = CopyNoting(scratch.path / "no-such-medium", scratch.path);
  EXPECT_EQ(lost.loss.kind, kLossSystemError);
  EXPECT_EQ(std::string(lost.path), (scratch.path / "no-such-medium").string());
}

}  // namespace
