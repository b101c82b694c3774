// What only the Windows layer does: the command-line tail taken by the
// launcher's own rule from the full command line; the removal through held
// directories of what installers leave, and of nothing outside; the held
// copy as the lock between runs.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <cstring>
#include <string>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "platform/win32/win32_handles.h"
#include "tests/support/test_programs.h"

namespace {

TEST(Win32CommandLine, TailComesFromTheFullCommandLine) {
  const char* full = GetCommandLineA();
  const char* tail = ReadCommandTail("ignored");
  ASSERT_NE(tail, nullptr);
  EXPECT_GE(tail, full);
  EXPECT_LE(tail, full + std::strlen(full));
}

TEST(Win32Files, ReadOnlyFilesAndDirectoriesAreNotDeletedAsFiles) {
  char temp[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string dir = std::string(temp) + "vantrel-win32-test";
  CreateDirectoryA(dir.c_str(), nullptr);
  EXPECT_FALSE(DeleteFilePath(dir.c_str()));
  const std::string file = dir + "\\locked";
  FileHandle out = OpenFileForWrite(file.c_str(), true);
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(CloseFile(out));
  EXPECT_EQ(OpenFileForWrite(file.c_str(), true), nullptr) << "must be new";
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(DeleteFilePath(file.c_str()));
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(DeleteFilePath(file.c_str()));
  EXPECT_TRUE(RemoveDirectoryPath(dir.c_str()));
}

}  // namespace

namespace {

extern "C" uintptr_t __stack_chk_guard;

// Seeded before the program's first line, by the launcher's own start-up.
TEST(Win32StackGuard, IsSeededAtStart) {
  EXPECT_NE(__stack_chk_guard, 0u);
  EXPECT_EQ(__stack_chk_guard & 0xFF, 0u) << "a zero byte stops string overruns";
}

// Once restricted, a bare name no longer finds the DLL beside the program.
TEST(Win32LibrarySearch, ADllBesideTheProgramIsNoLongerFound) {
  HMODULE before = LoadLibraryA("probe_library.dll");
  ASSERT_NE(before, nullptr) << "the probe lies beside the suite";
  FreeLibrary(before);
  RestrictLibrarySearch();
  HMODULE after = LoadLibraryA("probe_library.dll");
  EXPECT_EQ(after, nullptr);
  if (after != nullptr) FreeLibrary(after);
}

TEST(Win32TemporaryCopy, ElevatedCopiesAreForAdministratorsAndHeldAgainstRenames) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(BuildAdministratorsOnlyDescriptor(&descriptor));
  char* text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
      descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
  EXPECT_STREQ(text, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)")
      << "protected, inherited by files and folders, nobody else";
  LocalFree(text);
  LocalFree(descriptor);

  char temp[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string copy = std::string(temp) + "vantrel-held-test";
  HeldDirectory held = CreatePrivateDirectory(copy.c_str());
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(CreatePrivateDirectory(copy.c_str()), nullptr);
  EXPECT_EQ(ReadLastError(), kErrorAlreadyExists);
  EXPECT_FALSE(MoveFileA(copy.c_str(), (copy + "-moved").c_str()));
  EXPECT_FALSE(RemoveDirectoryA(copy.c_str())) << "not even by the run itself";
  EXPECT_TRUE(RemoveHeldDirectory(held, copy.c_str()));
  EXPECT_EQ(GetFileAttributesA(copy.c_str()), INVALID_FILE_ATTRIBUTES) << "deleted through a hold";
}

}  // namespace

namespace {

HeldName NameOf(const std::wstring& name) {
  HeldName held = {};
  held.size = static_cast<uint16_t>(name.size() * sizeof(wchar_t));
  std::memcpy(held.bytes, name.data(), held.size);
  return held;
}

// Runs a Unix tool, then waits until `proof` is there (or gone): Wine does
// not wait for a Unix program's end.
bool RunUnixTool(const char* tool, const std::string& arguments, const fs::path& proof,
                 bool present = true) {
  RunProgram(fs::path("Z:\\bin") / tool, fs::current_path(), arguments);
  std::error_code error;
  for (int i = 0; i < 200 && fs::exists(proof, error) != present; ++i) Sleep(25);
  return fs::exists(proof, error) == present;
}

// Maps a drive letter onto a Unix folder as Wine maps its drives: by a link
// in its prefix's dosdevices. Empty when that cannot be done here.
std::string MapDrive(char letter, const std::string& unixFolder) {
  char prefix[MAX_PATH] = "";
  if (GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH) == 0 || unixFolder.empty()) return "";
  const std::string link =
      std::string(prefix) + "/dosdevices/" + static_cast<char>(letter + 32) + ":";
  const fs::path root = std::string(1, letter) + ":\\";
  return RunUnixTool("ln", "-sfn " + unixFolder + " " + link, root) ? link : "";
}

// Wine keeps what it found of its drives for a second: a folder made where
// the mapped one was (the same inode) would pass for that drive's root.
void UnmapDrive(char letter, const std::string& link) {
  RunUnixTool("rm", "-f " + link, std::string(1, letter) + ":\\", false);
  Sleep(1500);
}

// A read-only file of several links keeps its attribute: it belongs to the
// names outside the copy too. The copy's name goes where the system deletes
// ignoring the attribute, else it stays (and the rest goes).
TEST(Win32Removal, AReadOnlyFileOfSeveralLinksIsNeverMadeWritable) {
  ScratchDir scratch;
  const fs::path copy = scratch.path / "VANTREL";
  const fs::path outside = scratch.path / "users-file.txt";
  fs::create_directories(copy);
  WriteBytes(outside, TextBytes("the user's"));
  WriteBytes(copy / "other.txt", TextBytes("the copy's"));
  ASSERT_TRUE(
      CreateHardLinkW((copy / "linked.txt").wstring().c_str(), outside.wstring().c_str(), nullptr));
  ASSERT_TRUE(SetFileAttributesW(outside.wstring().c_str(), FILE_ATTRIBUTE_READONLY));

  HeldDirectory held = OpenDirectoryForRemoval(copy.string().c_str());
  ASSERT_NE(held, nullptr);
  const bool linkGone = DeleteChildFile(held, NameOf(L"linked.txt"));
  EXPECT_TRUE(DeleteChildFile(held, NameOf(L"other.txt")));
  CloseHeldDirectory(held);
  EXPECT_EQ(fs::exists(copy / "linked.txt"), !linkGone);
  EXPECT_NE(GetFileAttributesW(outside.wstring().c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(ReadBytes(outside), TextBytes("the user's"));
  EXPECT_FALSE(fs::exists(copy / "other.txt"));
  SetFileAttributesW(outside.wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Unix links in the copy, as a program under Wine can make them, to the
// user's files: one under a folder whose path differs from the copy's only
// in letter case, one at the copy's own path on another drive. Neither is
// deleted through the copy; a file of the copy's own beside them is.
TEST(Win32Removal, LinksToTwinPathsNeverTakeTheUsersFiles) {
  ScratchDir scratch;
  const fs::path copy = scratch.path / "tmp" / "VANTREL";
  WriteBytes(scratch.path / "Tmp" / "VANTREL" / "notes.txt", TextBytes("the user's notes"));
  const std::string unixScratch = UnixPathOf(scratch.path);
  if (unixScratch.empty()) GTEST_SKIP() << "Unix links can be made only under Wine";
  // Made from the Unix side, since Windows names cannot differ in case
  // alone; seen when the listing shows both.
  RunUnixTool("mkdir", "-p " + unixScratch + "/tmp/VANTREL", scratch.path / "Tmp");
  for (int i = 0; i < 200 && ListTree(scratch.path).size() < 6; ++i) Sleep(25);
  ASSERT_EQ(ListTree(scratch.path),
            (std::vector<std::string>{"Tmp/", "Tmp/VANTREL/", "Tmp/VANTREL/notes.txt", "tmp/",
                                      "tmp/VANTREL/"}));
  WriteBytes(copy / "own.txt", TextBytes("the copy's"));
  ASSERT_TRUE(RunUnixTool(
      "ln", "-s " + unixScratch + "/Tmp/VANTREL/notes.txt " + UnixPathOf(copy) + "/notes.txt",
      copy / "notes.txt"));

  // The same volume-relative path, on a drive mapped onto another folder.
  const std::string other = unixScratch + "/other-drive";
  const std::string onVolume = copy.string().substr(2);  // past "C:"
  std::string unixOnVolume = onVolume;
  for (char& c : unixOnVolume) c = c == '\\' ? '/' : c;
  ASSERT_TRUE(RunUnixTool("mkdir", "-p " + other + unixOnVolume,
                          scratch.path / ("other-drive" + onVolume)));
  const std::string drive = MapDrive('P', other);
  ASSERT_FALSE(drive.empty());
  Sleep(1500);  // Wine looks its drives up again once a second
  const fs::path usersOther = fs::path("P:" + onVolume) / "letter.txt";
  WriteBytes(usersOther, TextBytes("the user's letter"));
  ASSERT_TRUE(RunUnixTool(
      "ln", "-s " + other + unixOnVolume + "/letter.txt " + UnixPathOf(copy) + "/letter.txt",
      copy / "letter.txt"));

  HeldDirectory held = OpenDirectoryForRemoval(copy.string().c_str());
  ASSERT_NE(held, nullptr);
  EXPECT_FALSE(DeleteChildFile(held, NameOf(L"notes.txt")));
  EXPECT_FALSE(DeleteChildFile(held, NameOf(L"letter.txt")));
  EXPECT_TRUE(DeleteChildFile(held, NameOf(L"own.txt")));
  CloseHeldDirectory(held);
  EXPECT_EQ(ReadBytes(scratch.path / "Tmp" / "VANTREL" / "notes.txt"),
            TextBytes("the user's notes"));
  EXPECT_EQ(ReadBytes(usersOther), TextBytes("the user's letter"));
  EXPECT_FALSE(fs::exists(copy / "own.txt"));
  UnmapDrive('P', drive);
  RunUnixTool("rm", "-rf " + unixScratch + "/Tmp " + unixScratch + "/tmp", scratch.path / "tmp",
              false);
}

}  // namespace

namespace {

// The held copy is the lock: a second run meets it through any spelling of
// the folder, a copy in another folder is another's, and an earlier copy,
// once taken, can be renamed aside, renewed or deleted through its hold.
TEST(Win32TemporaryCopy, TheHeldCopyIsTheLockUnderEverySpelling) {
  ScratchDir scratch;
  const fs::path copy = scratch.path / "VANTREL";
  const std::string path = copy.string();
  HeldDirectory running = CreatePrivateDirectory(path.c_str());
  ASSERT_NE(running, nullptr);
  EXPECT_EQ(TakeEarlierCopy(path.c_str()), nullptr);
  EXPECT_EQ(ReadLastError(), kErrorSharingViolation);
  const std::string drive = MapDrive('O', UnixPathOf(scratch.path));
  if (!drive.empty()) {
    EXPECT_EQ(TakeEarlierCopy("O:\\VANTREL"), nullptr) << "through a second drive letter";
    EXPECT_EQ(ReadLastError(), kErrorSharingViolation);
  }
  const fs::path elsewhere = scratch.path / "other" / "VANTREL";
  fs::create_directories(elsewhere);
  HeldDirectory other = TakeEarlierCopy(elsewhere.string().c_str());
  EXPECT_NE(other, nullptr) << "two folders never meet one lock";
  EXPECT_TRUE(RemoveHeldDirectory(other, elsewhere.string().c_str()));
  EXPECT_FALSE(fs::exists(elsewhere));
  EXPECT_TRUE(RemoveHeldDirectory(running, path.c_str()));
  EXPECT_FALSE(fs::exists(copy));

  // An earlier run's copy with a file: taken, it is locked the same way.
  WriteBytes(copy / "left.txt", TextBytes("left"));
  HeldDirectory earlier = TakeEarlierCopy(path.c_str());
  ASSERT_NE(earlier, nullptr);
  EXPECT_EQ(TakeEarlierCopy(path.c_str()), nullptr);
  EXPECT_EQ(ReadLastError(), kErrorSharingViolation);
  if (!drive.empty()) {
    EXPECT_EQ(TakeEarlierCopy("O:\\VANTREL"), nullptr);
  }
  fs::create_directories(scratch.path / "VANTREL-1");
  EXPECT_FALSE(MoveHeldCopyAside(earlier, (scratch.path / "VANTREL-1").string().c_str()));
  EXPECT_EQ(ReadLastError(), kErrorAlreadyExists);
  const fs::path aside = scratch.path / "VANTREL-2";
  EXPECT_TRUE(MoveHeldCopyAside(earlier, aside.string().c_str()));
  EXPECT_EQ(ReadBytes(aside / "left.txt"), TextBytes("left"));
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_EQ(TakeEarlierCopy(aside.string().c_str()), nullptr) << "still held where it went";
  EXPECT_FALSE(RemoveHeldDirectory(earlier, aside.string().c_str())) << "not empty";
  EXPECT_TRUE(fs::exists(aside / "left.txt"));

  // Emptied, an earlier copy is renewed: deleted and made anew, held.
  HeldDirectory emptied = TakeEarlierCopy(aside.string().c_str());
  ASSERT_NE(emptied, nullptr);
  EXPECT_TRUE(EmptyHeldTree(emptied));
  HeldDirectory renewed = RenewEarlierCopy(emptied, aside.string().c_str());
  ASSERT_NE(renewed, nullptr);
  EXPECT_EQ(TakeEarlierCopy(aside.string().c_str()), nullptr);
  EXPECT_EQ(ReadLastError(), kErrorSharingViolation);
  EXPECT_TRUE(RemoveHeldDirectory(renewed, aside.string().c_str()));
  EXPECT_FALSE(fs::exists(aside));
  if (!drive.empty()) UnmapDrive('O', drive);
}

// The run's own copy is deleted by its path only when that still leads to
// the very directory held: one put in its place (from the Unix side, which
// no share mode stops) is another's and stays.
TEST(Win32TemporaryCopy, AFolderSwappedInForTheCopyStays) {
  ScratchDir scratch;
  const fs::path copy = scratch.path / "VANTREL";
  HeldDirectory held = CreatePrivateDirectory(copy.string().c_str());
  ASSERT_NE(held, nullptr);
  const std::string unixCopy = UnixPathOf(copy);
  if (unixCopy.empty()) {
    CloseHeldDirectory(held);
    GTEST_SKIP() << "only a Unix process can rename a held folder";
  }
  ASSERT_TRUE(RunUnixTool("mv", unixCopy + " " + unixCopy + "-moved", copy, false));
  fs::create_directories(copy);
  EXPECT_FALSE(RemoveHeldDirectory(held, copy.string().c_str()));
  EXPECT_TRUE(fs::exists(copy));
}

// A temporary folder spelled "\\?\C:\..." or "\\.\C:\..." is given in its
// plain spelling, and a copy is made and removed under either spelling too.
TEST(Win32TemporaryCopy, ADevicePathTempFolderIsTheDrivesOwn) {
  ScratchDir scratch;
  const std::string plain = scratch.Text();
  char saved[MAX_PATH] = "";
  const bool had = GetEnvironmentVariableA("TMP", saved, MAX_PATH) != 0;
  for (const char* prefix : {"\\\\?\\", "\\\\.\\"}) {
    SetEnvironmentVariableA("TMP", (prefix + plain).c_str());
    PathBuffer temp;
    EXPECT_TRUE(ReadTempPath(temp)) << prefix;
    EXPECT_STREQ(temp, (plain + "\\").c_str()) << prefix;
    const std::string copy = prefix + plain + "\\VANTREL";
    HeldDirectory held = CreatePrivateDirectory(copy.c_str());
    ASSERT_NE(held, nullptr) << prefix;
    EXPECT_TRUE(fs::is_directory(scratch.path / "VANTREL")) << "made where it was named";
    EXPECT_TRUE(RemoveHeldDirectory(held, copy.c_str()));
    EXPECT_FALSE(fs::exists(scratch.path / "VANTREL"));
  }
  SetEnvironmentVariableA("TMP", had ? saved : nullptr);
}

}  // namespace
