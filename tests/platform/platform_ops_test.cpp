#include "platform/platform_ops.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "tests/support/test_tree.h"

namespace {

std::set<std::string> ListNames(const fs::path& directory, std::set<std::string>* links) {
  PathBuffer pattern;
  EXPECT_TRUE(MakeListPattern(pattern, directory.string().c_str()));
  std::set<std::string> names;
  DirEntry entry;
  SearchHandle search = OpenDirectoryListing(pattern, &entry);
  if (search == nullptr) return names;
  do {
    names.insert(std::string(entry.name) + (IsDirectoryEntry(entry) ? "/" : ""));
    if (IsLinkEntry(entry) && links != nullptr) links->insert(entry.name);
  } while (ReadNextEntry(search, &entry));
  CloseSearch(search);
  return names;
}

TEST(Listing, YieldsEveryEntryWithDotsAndMarksLinks) {
  ScratchDir dir;
  WriteBytes(dir.path / "file", TextBytes("12345"));
  fs::create_directories(dir.path / "sub");
  std::error_code failed;
  fs::create_directory_symlink(dir.path / "sub", dir.path / "dirlink", failed);
  const bool haveLinks = !failed;
  std::set<std::string> links;
  const auto names = ListNames(dir.path, &links);
  std::set<std::string> expected = {"./", "../", "file", "sub/"};
  if (haveLinks) expected.insert("dirlink/");
  EXPECT_EQ(names, expected);
  EXPECT_EQ(links, haveLinks ? std::set<std::string>{"dirlink"} : std::set<std::string>{});

  DirEntry entry;
  ASSERT_TRUE(LookUpPath((dir.path / "file").string().c_str(), &entry));
  EXPECT_EQ(entry.length, 5);
  EXPECT_FALSE(IsDirectoryEntry(entry));
}

TEST(Listing, AnUnlistableOrMalformedPatternOpensNoSearch) {
  ScratchDir dir;
  DirEntry entry;
  EXPECT_EQ(OpenDirectoryListing((dir.path / "absent\\*.*").string().c_str(), &entry), nullptr);
  PathBuffer tooLong;
  EXPECT_FALSE(MakeListPattern(tooLong, std::string(256, 'x').c_str()));
}

TEST(LookUp, WildcardsAreNotPatterns) {
  ScratchDir dir;
  WriteBytes(dir.path / "abc", TextBytes("x"));
  DirEntry entry;
  EXPECT_FALSE(LookUpPath((dir.path / "a*").string().c_str(), &entry));
  EXPECT_FALSE(LookUpPath((dir.path / "a?c").string().c_str(), &entry));
  EXPECT_TRUE(LookUpPath((dir.path / "abc").string().c_str(), &entry));
}

TEST(DirectoryIdentity, InsideIsJudgedByIdentityNotSpelling) {
  ScratchDir dir;
  const fs::path source = dir.path / "medium";
  fs::create_directories(source / "a" / "b");
  fs::create_directories(dir.path / "elsewhere");
  const std::string s = source.string();
  EXPECT_TRUE(IsDirectoryWithin(s.c_str(), s.c_str()));
  EXPECT_TRUE(IsDirectoryWithin((source / "a" / "b").string().c_str(), s.c_str()));
  EXPECT_TRUE(IsDirectoryWithin((s + "\\\\a\\..\\a\\b").c_str(), s.c_str()));
  EXPECT_FALSE(IsDirectoryWithin((dir.path / "elsewhere").string().c_str(), s.c_str()));
  EXPECT_FALSE(IsDirectoryWithin(dir.path.string().c_str(), s.c_str())) << "a parent is not inside";
  EXPECT_FALSE(IsDirectoryWithin((dir.path / "absent").string().c_str(), s.c_str()));
  std::error_code failed;
  fs::create_directory_symlink(source / "a", dir.path / "shortcut", failed);
  if (failed) return;
  EXPECT_TRUE(IsDirectoryWithin((dir.path / "shortcut" / "b").string().c_str(), s.c_str()));
}

bool IsPrivateDirectory(const fs::path& path) {
  HeldDirectory held = TakeEarlierCopy(path.string().c_str());
  CloseHeldDirectory(held);
  return held != nullptr;
}

TEST(TemporaryCopyGuards, OnlyARealDirectoryNobodyElseMayChangeIsTaken) {
  ScratchDir dir;
  const fs::path own = dir.path / "own";
  fs::create_directories(own);
  fs::permissions(own, fs::perms::owner_all);
  EXPECT_TRUE(IsPrivateDirectory(own));
  EXPECT_FALSE(IsPrivateDirectory(dir.path / "absent"));
  WriteBytes(dir.path / "file", TextBytes("x"));
  EXPECT_FALSE(IsPrivateDirectory(dir.path / "file"));
  std::error_code failed;
  fs::create_directory_symlink(own, dir.path / "link", failed);
  if (!failed) {
    EXPECT_FALSE(IsPrivateDirectory(dir.path / "link"));
  }

  // Held, the copy cannot be swapped unseen: where the system lets it be
  // renamed at all, the folder now at its path is another's and stays.
  HeldDirectory held = TakeEarlierCopy(own.string().c_str());
  ASSERT_NE(held, nullptr);
  fs::rename(own, dir.path / "moved", failed);
  if (!failed) fs::create_directories(own);
  EXPECT_EQ(RemoveHeldDirectory(held, own.string().c_str()), static_cast<bool>(failed));
  EXPECT_EQ(fs::exists(own), !failed);
}

// The hold is the lock: whoever holds the copy keeps every other run from
// taking it, however the folder is spelled, and lets go with the hold.
TEST(TemporaryCopyGuards, AHeldCopyIsTakenByNoOtherUntilLetGo) {
  ScratchDir dir;
  const std::string copy = (dir.path / "VANTREL").string();
  HeldDirectory first = CreatePrivateDirectory(copy.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(CreatePrivateDirectory(copy.c_str()), nullptr);
  EXPECT_EQ(ReadLastError(), kErrorAlreadyExists);
  EXPECT_EQ(TakeEarlierCopy(copy.c_str()), nullptr);
  EXPECT_EQ(ReadLastError(), kErrorSharingViolation);
  const std::string respelled = (dir.path / "." / "VANTREL" / ".").string();
  EXPECT_EQ(TakeEarlierCopy(respelled.c_str()), nullptr);
  EXPECT_EQ(ReadLastError(), kErrorSharingViolation);
  fs::create_directories(dir.path / "OTHER");
  HeldDirectory other = CreatePrivateDirectory((dir.path / "OTHER" / "VANTREL").string().c_str());
  EXPECT_NE(other, nullptr) << "another folder is another lock";
  CloseHeldDirectory(other);
  CloseHeldDirectory(first);
  HeldDirectory again = TakeEarlierCopy(copy.c_str());
  ASSERT_NE(again, nullptr);
  HeldDirectory renewed = RenewEarlierCopy(again, copy.c_str());
  ASSERT_NE(renewed, nullptr);
  EXPECT_EQ(TakeEarlierCopy(copy.c_str()), nullptr) << "a renewed copy is held as a new one";
  EXPECT_TRUE(RemoveHeldDirectory(renewed, copy.c_str()));
  EXPECT_FALSE(fs::exists(copy));
}

TEST(TemporaryCopyGuards, RootsAreRootsAndFoldersAreNot) {
  ScratchDir dir;
  EXPECT_TRUE(IsFileSystemRoot("C:\\"));
  EXPECT_TRUE(IsFileSystemRoot("C:\\."));
  EXPECT_FALSE(IsFileSystemRoot(dir.Text().c_str()));
  EXPECT_FALSE(IsFileSystemRoot((dir.path / "absent").string().c_str()));
}

TEST(CurrentDirectory, ReadsAndChanges) {
  ScratchDir dir;
  PathBuffer before;
  ASSERT_TRUE(ReadCurrentDirectory(before));
  ASSERT_TRUE(ChangeCurrentDirectory(dir.Text().c_str()));
  PathBuffer now;
  ASSERT_TRUE(ReadCurrentDirectory(now));
  EXPECT_EQ(fs::path(now), dir.path);
  EXPECT_FALSE(ChangeCurrentDirectory((dir.path / "absent").string().c_str()));
  EXPECT_EQ(ReadLastError(), kErrorFileNotFound);
  ASSERT_TRUE(ChangeCurrentDirectory(before));
}

}  // namespace

// What a box says of each failure the launcher names: one line of the
// system's words ending in a period, no insert the call could not fill
// ("Bad EXE format for %1."), always terminated, even cut short.
TEST(Errors, EveryNamedCodeReadsAsOneWholeLine) {
  for (const uint32_t code :
       {kErrorFileNotFound, kErrorPathNotFound, kErrorAccessDenied, kErrorNotEnoughMemory,
        kErrorBadFormat, kErrorSharingViolation, kErrorDiskFull, kErrorDirNotEmpty,
        kErrorAlreadyExists, kErrorInvalidName, kErrorBadExeFormat, kErrorFilenameTooLong,
        kErrorFileTooLarge, kErrorDirectory}) {
    char words[256];
    DescribeError(code, words, sizeof words);
    const std::string text = words;
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_EQ(text.back(), '.') << code << ": " << text;
    EXPECT_EQ(text.find('%'), std::string::npos) << code << ": " << text;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << code << ": " << text;
    char cramped[8];
    DescribeError(code, cramped, sizeof cramped);
    EXPECT_LT(std::strlen(cramped), sizeof cramped) << code;
  }
}
