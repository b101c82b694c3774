// The directory check that Windows before Vista gets, which cannot read a
// real path from a handle: the spelled path's parents, each opened. (Wine
// makes neither links, junctions nor usable substituted drives: what the
// check does with those is not shown here.)
#include "platform/win32/directory_identity_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_tree.h"

namespace {

TEST(SpelledDirectoryIdentity, InsideIsJudgedByIdentityNotSpelling) {
  ScratchDir dir;
  const fs::path source = dir.path / "medium";
  fs::create_directories(source / "a" / "b");
  fs::create_directories(dir.path / "elsewhere");
  const std::string s = source.string();
  const std::string elsewhere = (dir.path / "elsewhere").string();
  EXPECT_TRUE(IsSpelledDirectoryWithin(s.c_str(), s.c_str()));
  EXPECT_TRUE(IsSpelledDirectoryWithin((s + "\\\\a\\..\\A\\b").c_str(), s.c_str()));
  EXPECT_FALSE(IsSpelledDirectoryWithin(elsewhere.c_str(), s.c_str()));
  EXPECT_FALSE(IsSpelledDirectoryWithin(dir.path.string().c_str(), s.c_str()))
      << "a parent is not inside";
}

}  // namespace
