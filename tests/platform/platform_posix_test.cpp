// What only the Linux stand-ins do: Windows paths on a Linux file system, and
// modes standing in for Windows rights.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/platform_ops.h"
#include "platform/posix/posix_paths.h"
#include "tests/support/test_tree.h"

namespace {

TEST(PosixPaths, DriveAndBothSeparatorsMapOntoTheRoot) {
  ScratchDir dir;
  WriteBytes(dir.path / "sub" / "f", TextBytes("abc"));
  const std::string windows = "C:" + dir.Text() + "\\sub\\f";
  DirEntry entry;
  ASSERT_TRUE(LookUpPath(windows.c_str(), &entry));
  EXPECT_STREQ(entry.name, "f");
  EXPECT_TRUE(LookUpPath(("z:\\" + dir.Text() + "/sub").c_str(), &entry));
  EXPECT_TRUE(IsDirectoryEntry(entry));
}

// Each separator turned, in place too; 259 characters fit and 260 do not.
TEST(PosixPaths, TranslationTurnsEverySeparatorAndRefusesWhatDoesNotFit) {
  PathBuffer out;
  ASSERT_TRUE(TranslatePath("D:\\\\a\\b/c\\", out));
  EXPECT_STREQ(out, "//a/b/c/");
  ASSERT_TRUE(TranslatePath(out, out));
  EXPECT_STREQ(out, "//a/b/c/");
  ASSERT_TRUE(TranslatePath("c:", out));
  EXPECT_STREQ(out, "/");
  const std::string longest = "C:" + std::string(258, '\\') + "x";
  ASSERT_TRUE(TranslatePath(longest.c_str(), out));
  EXPECT_EQ(std::string(out), std::string(258, '/') + "x");
  errno = 0;
  EXPECT_FALSE(TranslatePath((longest + "y").c_str(), out));
  EXPECT_EQ(errno, ENAMETOOLONG);
  EXPECT_STREQ(out, "");
}

// The kind comes from the directory itself; a length the listing leaves
// unread comes from a look-up. Links are looked up for what they lead to.
TEST(PosixListing, KindsFromTheDirectoryLengthsFromALookUp) {
  ScratchDir dir;
  WriteBytes(dir.path / "file", TextBytes("12345"));
  fs::create_directories(dir.path / "sub");
  ASSERT_EQ(mkfifo((dir.path / "fifo").c_str(), 0600), 0);
  fs::create_symlink(dir.path / "file", dir.path / "link");
  PathBuffer pattern;
  ASSERT_TRUE(MakeListPattern(pattern, dir.Text().c_str()));
  DirEntry entry;
  SearchHandle search = OpenDirectoryListing(pattern, &entry);
  ASSERT_NE(search, nullptr);
  int seen = 0;
  do {
    const std::string name = entry.name;
    const bool device = (entry.attributes & kDeviceAttribute) != 0;
    if (name == "file") {
      EXPECT_FALSE(IsDirectoryEntry(entry) || IsLinkEntry(entry) || device);
      EXPECT_EQ(entry.length, entry.lengthKnown ? 5 : 0);
      DirEntry found;
      ASSERT_TRUE(LookUpPath((dir.path / "file").c_str(), &found));
      EXPECT_TRUE(found.lengthKnown);
      EXPECT_EQ(found.length, 5);
    } else if (name == "link") {
      EXPECT_TRUE(IsLinkEntry(entry) && entry.lengthKnown);
      EXPECT_EQ(entry.length, 5) << "the size of what it leads to";
    } else if (name == "fifo") {
      EXPECT_TRUE(device && !IsDirectoryEntry(entry));
    } else if (name == "sub") {
      EXPECT_TRUE(IsDirectoryEntry(entry) && !IsLinkEntry(entry));
    } else {
      continue;
    }
    ++seen;
  } while (ReadNextEntry(search, &entry));
  CloseSearch(search);
  EXPECT_EQ(seen, 4);
}

TEST(PosixPaths, DirectoriesAreMadeForTheOwnerOnlyToWrite) {
  ScratchDir dir;
  const mode_t old = umask(0);
  ASSERT_TRUE(MakeDirectory((dir.path / "made").string().c_str()));
  umask(old);
  const std::string made = (dir.path / "made").string();
  HeldDirectory held = TakeEarlierCopy(made.c_str());
  EXPECT_NE(held, nullptr);
  CloseHeldDirectory(held);
  fs::permissions(made, fs::perms::others_write, fs::perm_options::add);
  EXPECT_EQ(TakeEarlierCopy(made.c_str()), nullptr);
  EXPECT_FALSE(MakeDirectory((dir.path / "made").string().c_str()));
  EXPECT_EQ(ReadLastError(), kErrorAlreadyExists);
}

TEST(PosixPaths, TempPathFollowsAnAbsoluteTmpdir) {
  const char* saved = std::getenv("TMPDIR");
  const std::string keep = saved != nullptr ? saved : "";
  PathBuffer temp;
  setenv("TMPDIR", "/var/tmp", 1);
  ASSERT_TRUE(ReadTempPath(temp));
  EXPECT_STREQ(temp, "/var/tmp/");
  setenv("TMPDIR", "relative/dir", 1);
  ASSERT_TRUE(ReadTempPath(temp));
  EXPECT_STREQ(temp, "/tmp/");
  if (saved != nullptr) {
    setenv("TMPDIR", keep.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

TEST(PosixFiles, APipeInTheTreeIsSkippedWithoutHanging) {
  ScratchDir dir;
  const fs::path fifo = dir.path / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  FileHandle file = OpenFileForRead(fifo.string().c_str());
  ASSERT_NE(file, nullptr);
  unsigned char byte[2];
  EXPECT_EQ(ReadFileBytes(file, byte, sizeof byte), 0);
  CloseFile(file);
}

}  // namespace

namespace {

// Linux moves at most 2 GiB - 4 KiB a call: the last bytes of a longer file
// come from a second read, which must not be taken for the end.
TEST(PosixFiles, AFileJustUnder2GiBIsReadWhole) {
  ScratchDir dir;
  const fs::path big = dir.path / "big";
  constexpr std::size_t kLength = 2147483647;
  WriteBytes(big, TextBytes("x"));
  fs::resize_file(big, kLength);
  // Plain pages, faulted in by the read: the test is of the read alone.
  void* buffer = std::malloc(kLength + 1);
  ASSERT_NE(buffer, nullptr);
  FileHandle file = OpenFileForRead(big.string().c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadFileBytes(file, buffer, kLength + 1), static_cast<int64_t>(kLength));
  CloseFile(file);
  EXPECT_EQ(static_cast<unsigned char*>(buffer)[0], 'x');
  std::free(buffer);
}

}  // namespace

// A failure with no Windows code of its own is told in the system's words,
// however errno has moved on before the box is shown.
TEST(PosixErrors, AnErrorWithoutAWindowsCodeKeepsItsOwnWords) {
  rlimit before = {};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
  const rlimit few = {8, before.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
  std::vector<FileHandle> opened;
  FileHandle file = nullptr;
  while ((file = OpenFileForRead("/dev/null")) != nullptr && opened.size() < 16) {
    opened.push_back(file);
  }
  const uint32_t code = ReadLastError();
  for (FileHandle held : opened) CloseFile(held);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &before), 0);
  errno = 0;
  char words[128];
  DescribeError(code, words, sizeof words);
  EXPECT_STREQ(words, "Too many open files.");
  EXPECT_NE(code, kErrorGenericFailure);
}
