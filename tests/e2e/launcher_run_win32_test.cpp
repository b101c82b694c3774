// The built setup.exe run as a process under Windows (Wine), with a real
// installer restored and started by it, and its boxes found and read.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "tests/support/test_programs.h"

namespace {

constexpr ATOM kDialogClass = 0x8002;

struct StartedProgram {
  HANDLE process;
};

StartedProgram Start(const fs::path& program, const fs::path& cwd, const std::string& arguments) {
  std::string commandLine = "\"" + program.string() + "\" " + arguments;
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info;
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.string().c_str(), &startup, &info)) {
    return {nullptr};
  }
  CloseHandle(info.hThread);
  return {info.hProcess};
}

int Finish(StartedProgram started) {
  WaitForSingleObject(started.process, 120000);
  DWORD code = 999;
  GetExitCodeProcess(started.process, &code);
  CloseHandle(started.process);
  return static_cast<int>(code);
}

struct BoxSearch {
  const char* title;
  DWORD processId;
  HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<BoxSearch*>(parameter);
  char className[16] = "";
  char title[64] = "";
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  if (owner != search->processId || std::strcmp(className, "#32770") != 0 ||
      std::strcmp(title, search->title) != 0) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

// The box of that title the started program shows, not another's.
HWND AwaitBox(const char* title, HANDLE process) {
  BoxSearch search = {title, GetProcessId(process), nullptr};
  for (int i = 0; i < 3000; ++i) {
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    if (WaitForSingleObject(process, 5) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

std::string BoxText(HWND box) {
  char text[512] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  return text;
}

// The system's own words for an error code, as the launcher's box gives them.
std::string SystemWords(DWORD code) {
  char words[512] = "";
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, code, 0, words, sizeof words, nullptr);
  while (length > 0 &&
         (words[length - 1] == ' ' || words[length - 1] == '\r' || words[length - 1] == '\n')) {
    --length;
  }
  return std::string(words, length);
}

struct LauncherRun : ::testing::Test {
  ScratchDir scratch;
  fs::path medium = scratch.path / "medium";
  fs::path temp = scratch.path / "temp";
  fs::path record = scratch.path / "record.txt";

  void SetUp() override {
    fs::create_directories(temp);
    SetEnvironmentVariableA("VANTREL_TEST_RECORD", record.string().c_str());
    SetEnvironmentVariableA("VANTREL_TEST_MODE", nullptr);
    fs::create_directories(medium);
    fs::copy_file(LauncherProgram(), medium / "setup.exe");
    WriteStored(medium / "setup.xex", ReadBytes(TestInstallerProgram()));
    WriteStored(medium / "readme.txt", TextBytes("read me\n"));
    WriteStored(medium / "data" / "Setup.Xex", TextBytes("a nested installer"));
    WriteBytes(medium / "data" / "SETUP.exe", TextBytes("a nested launcher"));
    WriteStored(medium / "data" / "empty", {});
    WriteBytes(medium / "data" / "ones", Bytes(300, 0xFF));
  }
  void TearDown() override {
    SetEnvironmentVariableA("VANTREL_TEST_RECORD", nullptr);
    SetEnvironmentVariableA("VANTREL_TEST_MODE", nullptr);
  }
  int Launch(const std::string& arguments) {
    return Finish(Start(medium / "setup.exe", medium, arguments));
  }
  // A run that is refused says why in a box, which the test reads and closes
  // as the user would; empty when no box came and the run ended.
  std::string LaunchRefused(const std::string& arguments) {
    return LaunchRefusedFrom(medium, arguments);
  }
  std::string LaunchRefusedFrom(const fs::path& from, const std::string& arguments) {
    StartedProgram started = Start(from / "setup.exe", from, arguments);
    HWND box = AwaitBox("Halvern Vantrel", started.process);
    const std::string text = box != nullptr ? BoxText(box) : "";
    if (box != nullptr) PostMessageA(box, WM_CLOSE, 0, 0);
    EXPECT_EQ(Finish(started), 1);
    return text;
  }

  void ExpectRestored(const fs::path& target) {
    EXPECT_EQ(ListTree(target),
              (std::vector<std::string>{"SETUP.EXE", "data/", "data/SETUP.EXE", "data/empty",
                                        "data/ones", "readme.txt"}));
    EXPECT_EQ(ReadBytes(target / "data" / "SETUP.EXE"), TextBytes("a nested installer"));
    EXPECT_EQ(ReadBytes(target / "data" / "ones"), Bytes(300, 0x00));
  }
};

TEST_F(LauncherRun, HelpSwitchShowsTheUsageBoxAndCreatesNothing) {
  for (const char* help : {"/h", "/?", "/help", "/HELP", "/H"}) {
    StartedProgram started = Start(medium / "setup.exe", medium, help);
    ASSERT_NE(started.process, nullptr);
    HWND box = AwaitBox("Halvern Vantrel", started.process);
    ASSERT_NE(box, nullptr) << help;
    EXPECT_EQ(BoxText(box),
              "Usage: setup <directory>\n\n  where <directory> is path to leave install files.");
    PostMessageA(box, WM_CLOSE, 0, 0);
    EXPECT_EQ(Finish(started), 0) << help;
  }
  EXPECT_FALSE(fs::exists(record));
  EXPECT_EQ(ListTree(medium).size(), 8u) << "the medium is as it was";
}

TEST_F(LauncherRun, NamedDirectoryIsRestoredStartedAndKept) {
  const fs::path target = scratch.path / "kit";
  EXPECT_EQ(Launch(target.string()), 1);
  ExpectRestored(target);
  EXPECT_EQ(RecordValue(record, "command-line"), target.string() + "\\SETUP.EXE");
  EXPECT_EQ(RecordValue(record, "title"), "Please close this Window when it is done");
  EXPECT_EQ(RecordValue(record, "notice"), "0") << "the notice is gone before the installer starts";
}

// Past the 2 GiB a signed 32-bit count holds, into a named target: byte for
// byte, a piece at a time, and the installer starts.
TEST_F(LauncherRun, AFileOf2GiBAndMoreComesBackByteForByte) {
  constexpr uint64_t kLength = (uint64_t{2} << 30) + (uint64_t{1} << 20) + 3;
  if (!HasRoomFor(scratch.path, kLength)) GTEST_SKIP() << "no room on this disk for 2 GiB more";
  WriteSparseStored(medium / "data" / "disk.img", kLength, 29);
  const fs::path target = scratch.path / "kit";
  EXPECT_EQ(Launch(target.string()), 1);
  EXPECT_TRUE(IsComplementOf(target / "data" / "disk.img", medium / "data" / "disk.img"));
  EXPECT_EQ(RecordValue(record, "command-line"), target.string() + "\\SETUP.EXE");
  fs::remove(target / "data" / "disk.img");  // 2 GiB of disk back at once
}

// A run ended by End task (TerminateProcess) while it writes a large file,
// at several moments: no file stands cut short under its name, its private
// name went with the process, and the next run restores it whole.
TEST_F(LauncherRun, ARunEndedWhileItWritesLeavesNoFileCutShort) {
  constexpr uint64_t kLength = uint64_t{512} << 20;
  if (!HasRoomFor(scratch.path, kLength)) GTEST_SKIP() << "no room on this disk for 512 MiB more";
  WriteSparseStored(medium / "data" / "disk.img", kLength, 31);
  const fs::path target = scratch.path / "kit";
  const fs::path restored = target / "data" / "disk.img";
  for (const DWORD waitMs : {20, 100, 300}) {
    StartedProgram started = Start(medium / "setup.exe", medium, target.string());
    ASSERT_NE(started.process, nullptr);
    for (int i = 0; i < 2000 && !fs::exists(target / "data"); ++i) Sleep(5);
    Sleep(waitMs);
    TerminateProcess(started.process, 9);
    Finish(started);
    if (fs::exists(restored)) {
      EXPECT_TRUE(IsComplementOf(restored, medium / "data" / "disk.img"))
          << "cut short at " << waitMs;
    }
    for (const std::string& path : ListTree(target)) {
      EXPECT_EQ(path.find('~'), std::string::npos) << path << " left at " << waitMs;
    }
  }
  EXPECT_EQ(Launch(target.string()), 1);
  EXPECT_TRUE(IsComplementOf(restored, medium / "data" / "disk.img")) << "not whole after a rerun";
  EXPECT_EQ(RecordValue(record, "command-line"), target.string() + "\\SETUP.EXE");
}

TEST_F(LauncherRun, ArgumentWithoutColonGoesToDriveC) {
  const std::string name = "vantrel-e2e-" + scratch.path.filename().string();
  EXPECT_EQ(Launch(name), 1);
  ExpectRestored(fs::path("C:\\") / name);
  fs::remove_all(fs::path("C:\\") / name);
  const fs::path blank = scratch.path / "my files";
  EXPECT_EQ(Launch("\"" + blank.string() + "\""), 1);
  ExpectRestored(blank);
}

TEST_F(LauncherRun, TemporaryTargetIsRemovedButWhatIsHeldOpenStays) {
  SetEnvironmentVariableA("TMP", temp.string().c_str());
  SetEnvironmentVariableA("VANTREL_TEST_MODE", "hold:4000");
  EXPECT_EQ(Launch(""), 1);
  SetEnvironmentVariableA("TMP", nullptr);
  EXPECT_EQ(RecordValue(record, "cwd"), (temp / "VANTREL").string());
  // The running installer's image and the file it holds stay, with their
  // directory; everything else is gone.
  EXPECT_EQ(ListTree(temp),
            (std::vector<std::string>{"VANTREL/", "VANTREL/SETUP.EXE", "VANTREL/held.txt"}));
}

// An installer the system cannot start is told, with the system's words;
// the temporary target goes all the same.
TEST_F(LauncherRun, WithoutAnInstallerTheBoxSaysSoAndTheTemporaryTargetIsStillRemoved) {
  fs::remove(medium / "setup.xex");
  SetEnvironmentVariableA("TMP", temp.string().c_str());
  const std::string told = LaunchRefused("");
  SetEnvironmentVariableA("TMP", nullptr);
  EXPECT_EQ(told, "Setup could not start the installer\n" + (temp / "VANTREL").string() +
                      "\\SETUP.EXE\n\n" + SystemWords(ERROR_FILE_NOT_FOUND) +
                      "\n\nNothing was installed. Check that the installation files are "
                      "complete and made for this system, then run setup again.");
  EXPECT_TRUE(fs::is_empty(temp));
}

TEST_F(LauncherRun, TheNoticeStandsDuringTheCopyAndTheUserMayCloseIt) {
  for (int i = 0; i < 24; ++i) {
    WriteStored(medium / "big" / ("part" + std::to_string(i)),
                PatternBytes(8 << 20, static_cast<unsigned>(i)));
  }
  const fs::path target = scratch.path / "kit";
  StartedProgram started = Start(medium / "setup.exe", medium, target.string());
  HWND box = AwaitBox("Vantrel", started.process);
  ASSERT_NE(box, nullptr) << "no notice seen during the copy";
  EXPECT_EQ(BoxText(box), "Copying Files. Please wait.");
  SendMessageA(box, WM_CLOSE, 0, 0);  // the user's OK
  EXPECT_EQ(Finish(started), 1);
  EXPECT_EQ(ReadBytes(target / "big" / "part23"), PatternBytes(8 << 20, 23)) << "the copy went on";
  EXPECT_EQ(RecordValue(record, "notice"), "0");
}

TEST_F(LauncherRun, ATargetInsideTheSourceIsRefused) {
  for (const fs::path& inside : {medium / "data", medium / "NEW"}) {
    EXPECT_NE(LaunchRefused(inside.string()).find("It lies among the install files"),
              std::string::npos)
        << inside;
  }
  EXPECT_FALSE(fs::exists(medium / "NEW"));
  EXPECT_FALSE(fs::exists(medium / "data" / "readme.txt"));
  EXPECT_FALSE(fs::exists(record));
}

}  // namespace

namespace {

// A folder's file index in 16 hex digits, as an aside copy's name has it.
std::string FileIndexOf(const fs::path& folder) {
  HANDLE opened = CreateFileA(folder.string().c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION info = {};
  if (opened == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(opened, &info)) return "";
  CloseHandle(opened);
  char digits[17];
  (void)std::snprintf(digits, sizeof digits, "%08lx%08lx", info.nFileIndexHigh, info.nFileIndexLow);
  return digits;
}

struct GuardedRun : LauncherRun {
  void SetUp() override {
    LauncherRun::SetUp();
    SetEnvironmentVariableA("TMP", temp.string().c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableA("TMP", nullptr);
    LauncherRun::TearDown();
  }
  bool AwaitRecord() {
    for (int i = 0; i < 1000 && !fs::exists(record); ++i) Sleep(10);
    return fs::exists(record);
  }
  // Once the installer that writes it has closed it.
  void RemoveRecord() {
    std::error_code busy;
    for (int i = 0; i < 200 && !fs::remove(record, busy) && busy; ++i) Sleep(10);
  }
};

constexpr char kInUse[] = "is still in use by another program";

// While the first run's installer works in the temporary copy, a second
// launcher does nothing to it and says so, and nothing can move the copy.
TEST_F(GuardedRun, ASecondLaunchWhileTheFirstInstallerRunsDoesNothing) {
  const fs::path copy = temp / "VANTREL";
  SetEnvironmentVariableA("VANTREL_TEST_MODE", "sleep:3000");
  StartedProgram first = Start(medium / "setup.exe", medium, "");
  ASSERT_NE(first.process, nullptr);
  ASSERT_TRUE(AwaitRecord()) << "the first installer started";
  RemoveRecord();
  const std::string told = LaunchRefused("");
  EXPECT_NE(told.find(copy.string() + "\n" + kInUse), std::string::npos) << told;
  EXPECT_FALSE(fs::exists(record)) << "nothing was started";
  EXPECT_FALSE(MoveFileA(copy.string().c_str(), (temp / "moved").string().c_str()));
  ExpectRestored(copy);
  EXPECT_EQ(Finish(first), 1);
  EXPECT_TRUE(fs::is_empty(temp));
  SetEnvironmentVariableA("VANTREL_TEST_MODE", nullptr);
  EXPECT_EQ(Launch(""), 1);
  EXPECT_TRUE(fs::exists(record)) << "a later run works";
}

// A copy whose installer outlived the wait is in use: the next run is
// refused and told so, nothing started. Once it has ended, what it left,
// read-only files included, is cleared and the next run starts afresh.
TEST_F(GuardedRun, ACopyInUseIsRefusedAndOnceLetGoIsCleared) {
  SetEnvironmentVariableA("VANTREL_TEST_MODE", "hold:3000");
  EXPECT_EQ(Launch(""), 1);
  SetEnvironmentVariableA("VANTREL_TEST_MODE", nullptr);
  fs::remove(record);
  const std::string told = LaunchRefused("");
  EXPECT_NE(told.find(kInUse), std::string::npos) << told;
  EXPECT_FALSE(fs::exists(record)) << "the earlier run's installer was started";
  Sleep(3500);  // the held file is let go

  const fs::path stale = temp / "VANTREL";
  WriteBytes(stale / "old.txt", TextBytes("an earlier run's"));
  SetFileAttributesA((stale / "old.txt").string().c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Launch(""), 1);
  EXPECT_TRUE(fs::exists(record)) << "the run went on in a cleared copy";
  EXPECT_TRUE(fs::is_empty(temp));
}

// What installers leave in their folder (read-only files and folders, names
// no ANSI code page holds, a tree deeper than 1,400 characters, names ending
// in a dot or a blank) all goes with the copy; the next run, with the
// temporary folder spelled "\\?\C:\...", starts its installer in the
// plain spelling, and no copy stays.
TEST_F(GuardedRun, WhateverTheInstallerLeavesGoesAndTheNextRunStarts) {
  SetEnvironmentVariableA("VANTREL_TEST_MODE", "leave");
  EXPECT_EQ(Launch(""), 1);
  ASSERT_TRUE(fs::exists(record)) << "the installer made all it leaves";
  EXPECT_TRUE(fs::is_empty(temp)) << "the copy went whole";
  SetEnvironmentVariableA("VANTREL_TEST_MODE", nullptr);
  fs::remove(record);
  SetEnvironmentVariableA("TMP", ("\\\\?\\" + temp.string()).c_str());
  EXPECT_EQ(Launch(""), 1);
  EXPECT_EQ(RecordValue(record, "cwd"), (temp / "VANTREL").string());
  EXPECT_TRUE(fs::is_empty(temp));
}

// A leftover a program still holds a file of is set aside beside the copy
// where the system renames it (Wine; Windows does not rename a folder below
// which a file is open, and then the run is refused and told so); its
// installer is never started, and a later run clears it once let go.
TEST_F(GuardedRun, ALeftoverInUseIsSetAsideAndClearedLater) {
  const fs::path stale = temp / "VANTREL";
  WriteBytes(stale / "SETUP.EXE", TextBytes("a stale installer"));
  WriteBytes(stale / "busy.txt", TextBytes("busy"));
  HANDLE busy = CreateFileA((stale / "busy.txt").string().c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);
  StartedProgram run = Start(medium / "setup.exe", medium, "");
  HWND box = AwaitBox("Halvern Vantrel", run.process);
  if (box != nullptr) {
    EXPECT_NE(BoxText(box).find(kInUse), std::string::npos) << BoxText(box);
    PostMessageA(box, WM_CLOSE, 0, 0);
  }
  EXPECT_EQ(Finish(run), 1);
  CloseHandle(busy);
  if (box != nullptr) {
    EXPECT_FALSE(fs::exists(record));
    GTEST_SKIP() << "this system does not rename a folder below which a file is open";
  }
  EXPECT_TRUE(fs::exists(record)) << "the run went on in a fresh copy";
  // Named after its file index, which a later run proves before it clears.
  const std::string aside = "VANTREL-" + FileIndexOf(temp / ListTree(temp)[0]);
  EXPECT_EQ(ListTree(temp), (std::vector<std::string>{aside + "/", aside + "/busy.txt"}))
      << "emptied but for the file in use, and set aside";
  fs::remove(record);
  EXPECT_EQ(Launch(""), 1);
  EXPECT_TRUE(fs::exists(record));
  EXPECT_TRUE(fs::is_empty(temp)) << "the aside copy was cleared";
}

// Whatever the target, the medium is never inside it: not the temporary
// copy, not a named parent, not a root, and a target below a medium at a
// drive root is refused, however the drive is reached.
TEST_F(GuardedRun, ATargetAroundOrInsideTheMediumIsRefused) {
  const std::vector<std::string> tree = ListTree(medium);
  const fs::path inner = temp / "VANTREL" / "disk1";
  fs::create_directories(inner.parent_path());
  fs::rename(medium, inner);
  EXPECT_NE(LaunchRefusedFrom(inner, "").find("The install files themselves are in it"),
            std::string::npos);
  EXPECT_EQ(ListTree(inner), tree) << "the medium is as it was";
  fs::rename(inner, medium);
  for (const std::string& around : {std::string("."), scratch.Text(), std::string("C:\\")}) {
    EXPECT_NE(LaunchRefused(around).find("Setup cannot install into"), std::string::npos) << around;
  }
  EXPECT_FALSE(fs::exists(scratch.path / "readme.txt"));
  EXPECT_FALSE(fs::exists("C:\\SETUP.EXE"));
  EXPECT_FALSE(fs::exists(record));

  char prefix[MAX_PATH] = "";
  const std::string unixMedium = UnixPathOf(medium);
  if (GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH) == 0 || unixMedium.empty()) {
    GTEST_SKIP() << "a drive can be mapped to a folder only under Wine";
  }
  const std::string link = std::string(prefix) + "/dosdevices/q:";
  const fs::path tools = "Z:\\bin";
  ASSERT_EQ(RunProgram(tools / "ln", medium, "-sfn " + unixMedium + " " + link).exitCode, 0);
  for (int i = 0; i < 200 && !fs::exists("Q:\\setup.exe"); ++i) Sleep(25);
  EXPECT_NE(LaunchRefusedFrom("Q:\\", "Q:\\inst").find("Setup cannot install into"),
            std::string::npos);
  RunProgram(tools / "rm", medium, "-f " + link);
  EXPECT_FALSE(fs::exists(medium / "inst"));
  EXPECT_FALSE(fs::exists(record));
}

}  // namespace

namespace {

// A Unix link, made as Wine maps a drive: only Wine can have one made.
bool MakeUnixLink(const fs::path& to, const std::string& at, const fs::path& cwd) {
  const std::string from = UnixPathOf(to);
  return !from.empty() && !at.empty() &&
         RunProgram("Z:\\bin\\ln", cwd, "-sfn " + from + " " + at).exitCode == 0;
}

// Links to the user's files made in the copy while the installer runs: the
// removal never deletes what they lead to.
TEST_F(GuardedRun, LinksMadeInTheCopyNeverTakeWhatTheyLeadTo) {
  const fs::path users = scratch.path / "users-files";
  const fs::path copy = temp / "VANTREL";
  WriteBytes(users / "precious.txt", TextBytes("precious"));
  WriteBytes(users / "deep" / "more.txt", TextBytes("more"));
  SetEnvironmentVariableA("VANTREL_TEST_MODE", "sleep:2000");
  StartedProgram run = Start(medium / "setup.exe", medium, "");
  ASSERT_TRUE(AwaitRecord());
  const std::string unixCopy = UnixPathOf(copy);
  const bool linked = MakeUnixLink(users / "precious.txt", unixCopy + "/filelink", medium) &&
                      MakeUnixLink(users, unixCopy + "/dirlink", medium);
  EXPECT_EQ(Finish(run), 1);
  if (!linked) GTEST_SKIP() << "links cannot be made here";
  EXPECT_EQ(ReadBytes(users / "precious.txt"), TextBytes("precious"));
  EXPECT_EQ(ReadBytes(users / "deep" / "more.txt"), TextBytes("more"));
  EXPECT_FALSE(fs::exists(copy / "readme.txt")) << "the copy's own files went";
  RunProgram("Z:\\bin\\rm", medium, "-rf " + unixCopy);
}

// Under Wine, which opens a Unix link as what it leads to whatever the flag:
// a link where the copy or an aside copy would be never takes the folder it
// leads to, not even one named after that folder's own identity, nor does
// any folder of the user's of the old aside names.
TEST_F(GuardedRun, UnixLinksAndTheUsersFoldersBesideTheCopyAreNeverTaken) {
  const fs::path users = scratch.path / "users-files";
  WriteBytes(users / "precious.txt", TextBytes("precious"));
  WriteBytes(users / "deep" / "more.txt", TextBytes("more"));
  const std::string unixTemp = UnixPathOf(temp);
  if (!MakeUnixLink(users, unixTemp + "/VANTREL", medium)) GTEST_SKIP() << "no Unix links here";
  const std::string where = "Setup cannot start: where its folder\n" + (temp / "VANTREL").string() +
                            "\nshould be, there is ";
  EXPECT_EQ(LaunchRefused(""), where +
                                   "a link to another place.\n\nDelete or rename it, then "
                                   "run setup again.");
  EXPECT_EQ(ListTree(users), (std::vector<std::string>{"deep/", "deep/more.txt", "precious.txt"}));
  // Led nowhere, it is told the same way, and nothing is made there.
  fs::rename(users, scratch.path / "moved");
  EXPECT_EQ(LaunchRefused("").rfind(where, 0), 0u);
  fs::rename(scratch.path / "moved", users);
  RunProgram("Z:\\bin\\rm", medium, "-f " + unixTemp + "/VANTREL");

  ASSERT_TRUE(MakeUnixLink(users, unixTemp + "/VANTREL-3", medium));
  ASSERT_TRUE(MakeUnixLink(users, unixTemp + "/VANTREL-" + FileIndexOf(users), medium));
  WriteBytes(temp / "VANTREL-2" / "notes.txt", TextBytes("the user's"));
  EXPECT_EQ(Launch(""), 1);
  EXPECT_TRUE(fs::exists(record)) << "the run went on";
  EXPECT_EQ(ListTree(users), (std::vector<std::string>{"deep/", "deep/more.txt", "precious.txt"}));
  EXPECT_EQ(ReadBytes(temp / "VANTREL-2" / "notes.txt"), TextBytes("the user's"));
  RunProgram("Z:\\bin\\rm", medium,
             "-rf " + unixTemp + "/VANTREL-3 " + unixTemp + "/VANTREL-" + FileIndexOf(users));
}

// Every spelling of the temporary folder meets the same lock: a second run
// through a mapped drive or the short name leaves the first one's copy be.
TEST_F(GuardedRun, ASecondLaunchThroughAnotherSpellingOfTheFolderDoesNothing) {
  const fs::path copy = temp / "VANTREL";
  char prefix[MAX_PATH] = "";
  char shortName[MAX_PATH] = "";
  const std::string link = GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH) != 0
                               ? std::string(prefix) + "/dosdevices/q:"
                               : "";
  std::vector<std::string> spellings;
  if (GetShortPathNameA(temp.string().c_str(), shortName, MAX_PATH) != 0) {
    spellings.push_back(shortName);
  }
  if (MakeUnixLink(scratch.path, link, medium)) spellings.push_back("Q:\\temp");
  SetEnvironmentVariableA("VANTREL_TEST_MODE", "sleep:3000");
  StartedProgram first = Start(medium / "setup.exe", medium, "");
  ASSERT_TRUE(AwaitRecord());
  RemoveRecord();
  SetEnvironmentVariableA("VANTREL_TEST_MODE", nullptr);
  for (const std::string& spelling : spellings) {
    SetEnvironmentVariableA("TMP", spelling.c_str());
    const std::string told = LaunchRefused("");
    EXPECT_NE(told.find(kInUse), std::string::npos) << spelling << ": " << told;
    EXPECT_FALSE(fs::exists(record)) << spelling;
    ExpectRestored(copy);
  }
  SetEnvironmentVariableA("TMP", temp.string().c_str());
  EXPECT_EQ(Finish(first), 1);
  if (!link.empty()) RunProgram("Z:\\bin\\rm", medium, "-f " + link);
  EXPECT_TRUE(fs::is_empty(temp));
  EXPECT_FALSE(spellings.empty());
}

// A copy of 256 characters holds files of 258, which a listing pattern of
// the copy could not reach; the removal through handles takes them all.
// The installer's path and the others' do not fit it: the run says so,
// once the copy is gone, and starts nothing.
TEST_F(GuardedRun, ACopyAsLongAsItsFilesAllowIsRemovedWhole) {
  fs::path deep = temp;
  while (deep.string().size() + 11 < 248) deep /= "d";
  deep /= std::string(248 - deep.string().size() - 1, 'e');
  fs::create_directories(deep);
  const fs::path copy = deep / "VANTREL";
  ASSERT_EQ(copy.string().size(), 256u);
  WriteStored(medium / "a", TextBytes("a"));
  SetEnvironmentVariableA("TMP", deep.string().c_str());
  StartedProgram run = Start(medium / "setup.exe", medium, "");
  ASSERT_NE(run.process, nullptr);
  HWND box = AwaitBox("Halvern Vantrel", run.process);
  ASSERT_NE(box, nullptr) << "no box";
  EXPECT_NE(BoxText(box).find("\n\n" + SystemWords(ERROR_FILENAME_EXCED_RANGE) + "\n\n"),
            std::string::npos)
      << BoxText(box);
  EXPECT_FALSE(fs::exists(copy));
  PostMessageA(box, WM_CLOSE, 0, 0);
  EXPECT_EQ(Finish(run), 1);
  EXPECT_FALSE(fs::exists(record));
}

}  // namespace

namespace {

// A file of the medium that another program holds without read sharing
// cannot be copied: no installer, the temporary copy gone before the box
// comes up, and the box names the file and why.
TEST_F(GuardedRun, AFileThatCannotBeReadStartsNoInstallerAndTheBoxSaysWhich) {
  const fs::path held = medium / "data" / "held.cab";
  WriteStored(held, PatternBytes(4096, 5));
  HANDLE holder = CreateFileA(held.string().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  StartedProgram run = Start(medium / "setup.exe", medium, "");
  ASSERT_NE(run.process, nullptr);
  HWND box = AwaitBox("Halvern Vantrel", run.process);
  CloseHandle(holder);
  ASSERT_NE(box, nullptr) << "no box";
  EXPECT_EQ(BoxText(box), "Setup could not copy\n" + held.string() + "\n\n" +
                              SystemWords(ERROR_SHARING_VIOLATION) +
                              "\n\nNothing was installed. Run setup again once this is put right.");
  EXPECT_TRUE(fs::is_empty(temp)) << "the copy is removed before the box";
  PostMessageA(box, WM_CLOSE, 0, 0);
  EXPECT_EQ(Finish(run), 1);
  EXPECT_FALSE(fs::exists(record)) << "the installer was started from a copy without the file";
}

}  // namespace
