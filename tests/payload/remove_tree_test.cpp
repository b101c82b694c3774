#include <gtest/gtest.h>

#include "payload/payload_tree.h"
#include "tests/support/test_tree.h"

namespace {

TEST(RemoveTree, DeletesEverythingBelowAndTheDirectory) {
  ScratchDir scratch;
  const fs::path tree = scratch.path / "VANTREL";
  WriteBytes(tree / "a", TextBytes("a"));
  WriteBytes(tree / "d" / "e" / "f", TextBytes("f"));
  fs::create_directories(tree / "empty");
  const std::string path = tree.string();
  EXPECT_EQ(RemoveTemporaryCopy(TakeEarlierCopy(path.c_str()), path.c_str()), 1);
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_EQ(RemoveTemporaryCopy(nullptr, ""), 1);
  EXPECT_EQ(RemoveTemporaryCopy(nullptr, nullptr), 1);
}

TEST(RemoveTree, RemovesLinksAsLinksAndLeavesWhatTheyPointTo) {
  ScratchDir scratch;
  const fs::path outside = scratch.path / "users-files";
  const fs::path tree = scratch.path / "VANTREL";
  WriteBytes(outside / "precious.txt", TextBytes("precious"));
  WriteBytes(outside / "deep" / "more.txt", TextBytes("more"));
  fs::create_directories(tree);
  std::error_code failed;
  fs::create_directory_symlink(outside, tree / "dirlink", failed);
  fs::create_symlink(outside / "precious.txt", tree / "filelink", failed);
  if (failed) GTEST_SKIP() << "links cannot be made here";
  RemoveTree(tree.string().c_str());
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_EQ(ReadBytes(outside / "precious.txt"), TextBytes("precious"));
  EXPECT_EQ(ReadBytes(outside / "deep" / "more.txt"), TextBytes("more"));
}

}  // namespace
