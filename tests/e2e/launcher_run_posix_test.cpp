// The built launcher run as a process on a generated medium, with a real
// installer restored and started by it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/test_programs.h"

namespace {

// A sanitizer's shadow memory counts as the launcher's own.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Descriptors beyond the standard three that a program started from here
// inherits: the test installer counts the same range.
int CountInheritedDescriptors() {
  int count = 0;
  for (int fd = 3; fd < 64; ++fd) {
    const int flags = fcntl(fd, F_GETFD);
    if (flags != -1 && (flags & FD_CLOEXEC) == 0) ++count;
  }
  return count;
}

struct LauncherRun : ::testing::Test {
  ScratchDir scratch;
  fs::path medium = scratch.path / "medium";
  fs::path temp = scratch.path / "temp";
  fs::path record = scratch.path / "record.txt";

  void SetUp() override {
    fs::create_directories(temp);
    setenv("TMPDIR", temp.c_str(), 1);
    setenv("VANTREL_TEST_RECORD", record.c_str(), 1);
    unsetenv("VANTREL_TEST_MODE");
    fs::create_directories(medium);
    fs::copy_file(LauncherProgram(), medium / "setup.exe");
    WriteStored(medium / "setup.xex", ReadBytes(TestInstallerProgram()));
    WriteStored(medium / "readme.txt", TextBytes("read me\n"));
    WriteStored(medium / "data" / "setup.xex", TextBytes("a nested installer"));
    WriteBytes(medium / "data" / "SETUP.exe", TextBytes("a nested launcher"));
    WriteStored(medium / "data" / "empty", {});
    WriteBytes(medium / "data" / "ones", Bytes(300, 0xFF));
    WriteStored(medium / "data" / "pattern", PatternBytes(1 << 20, 9));
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    unsetenv("VANTREL_TEST_RECORD");
  }
  ProgramRun Launch(const std::string& arguments) {
    return RunProgram(medium / "setup.exe", medium, arguments);
  }
  void ExpectRestored(const fs::path& target) {
    EXPECT_EQ(ListTree(target),
              (std::vector<std::string>{"SETUP.EXE", "data/", "data/SETUP.EXE", "data/empty",
                                        "data/ones", "data/pattern", "readme.txt"}));
    EXPECT_EQ(ReadBytes(target / "SETUP.EXE"), ReadBytes(TestInstallerProgram()));
    EXPECT_EQ(ReadBytes(target / "data" / "SETUP.EXE"), TextBytes("a nested installer"));
    EXPECT_EQ(ReadBytes(target / "data" / "ones"), Bytes(300, 0x00));
    EXPECT_EQ(ReadBytes(target / "data" / "pattern"), PatternBytes(1 << 20, 9));
  }
};

TEST_F(LauncherRun, HelpSwitchesShowTheUsageAndCreateNothing) {
  for (const char* help : {"/h", "'/?'", "/help", "/HELP", "/H", "--help", "-h"}) {
    const ProgramRun run = Launch(help);
    EXPECT_EQ(run.exitCode, 0) << help;
    EXPECT_EQ(run.output,
              "Halvern Vantrel\n\nUsage: setup <directory>\n\n  where <directory> is path to "
              "leave install files.\n");
  }
  EXPECT_TRUE(fs::is_empty(temp));
  EXPECT_FALSE(fs::exists(record));
}

TEST_F(LauncherRun, NamedDirectoryIsRestoredStartedAndKept) {
  const fs::path target = scratch.path / "kit";
  const ProgramRun run = Launch(target.string());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.output, "Copying Files. Please wait.\n");
  ExpectRestored(target);
  EXPECT_EQ(fs::path(RecordValue(record, "cwd")), target);
  EXPECT_EQ(RecordValue(record, "argv0"), "C:\\" + target.string() + "\\SETUP.EXE");
  EXPECT_EQ(RecordValue(record, "extra-descriptors"), std::to_string(CountInheritedDescriptors()))
      << "the installer gets what the launcher was given, and nothing of the launcher's own";
}

TEST_F(LauncherRun, ArgumentWithoutColonLandsUnderTheRootAndQuotesAreTakenOff) {
  const std::string name = "tmp/" + scratch.path.filename().string() + "-rooted";
  const fs::path target = fs::path("/") / name;
  EXPECT_EQ(Launch("'\"" + name + "\"'").exitCode, 1);
  ExpectRestored(target);
  fs::remove_all(target);
  const fs::path blank = scratch.path / "my files";
  EXPECT_EQ(Launch("'\"C:" + blank.string() + "\"'").exitCode, 1);
  ExpectRestored(blank);
}

TEST_F(LauncherRun, NoArgumentUsesTheTemporaryTargetAndRemovesIt) {
  EXPECT_EQ(Launch("").exitCode, 1);
  EXPECT_EQ(fs::path(RecordValue(record, "cwd")), temp / "VANTREL");
  EXPECT_FALSE(fs::exists(temp / "VANTREL"));
  EXPECT_TRUE(fs::is_empty(temp));
}

TEST_F(LauncherRun, ExistingFilesInTheTargetAreNotOverwritten) {
  const fs::path target = scratch.path / "kit";
  const fs::path other = scratch.path / "other-ran";
  WriteBytes(target / "readme.txt", TextBytes("the user's own"));
  fs::create_directories(target / "data" / "ones");
  // Other spellings of the installer's name: the restored SETUP.EXE starts.
  for (const char* name : {"setup.exe", "Setup.EXE", "sEtUp.exe"}) {
    WriteBytes(target / name, TextBytes("#!/bin/sh\ntouch '" + other.string() + "'\n"));
  }
  EXPECT_EQ(Launch(target.string()).exitCode, 1);
  EXPECT_FALSE(fs::exists(other)) << "a program the target held ran in place of the installer";
  EXPECT_TRUE(fs::exists(record));
  EXPECT_EQ(ReadBytes(target / "readme.txt"), TextBytes("the user's own"));
  EXPECT_TRUE(fs::is_directory(target / "data" / "ones"));
  EXPECT_EQ(ReadBytes(target / "data" / "pattern"), PatternBytes(1 << 20, 9));
}

TEST_F(LauncherRun, ATargetInsideTheSourceIsRefused) {
  for (const std::string& inside :
       {medium.string(), (medium / "data").string(), (medium / "new").string(),
        medium.string() + "/data/../data", medium.string() + "\\\\data"}) {
    EXPECT_EQ(Launch("'" + inside + "'").exitCode, 1) << inside;
  }
  EXPECT_FALSE(fs::exists(medium / "new")) << "a target made only to refuse it is taken away";
  EXPECT_FALSE(fs::exists(medium / "SETUP.EXE"));
  EXPECT_FALSE(fs::exists(medium / "data" / "readme.txt"));
  // A medium unpacked straight into the temporary folder, its payload
  // holding a folder of the copy's name: refused, that folder untouched,
  // and nothing made beside it.
  WriteStored(medium / "VANTREL" / "part.cab", TextBytes("the medium's own"));
  const std::vector<std::string> before = ListTree(medium);
  for (const fs::path& temporary : {medium, medium / "data"}) {
    setenv("TMPDIR", temporary.c_str(), 1);
    const ProgramRun run = Launch("");
    EXPECT_EQ(run.exitCode, 1) << temporary;
    EXPECT_NE(run.output.find("It lies among the install files"), std::string::npos)
        << temporary << "\n"
        << run.output;
    EXPECT_EQ(ListTree(medium), before) << temporary;
  }
  setenv("TMPDIR", temp.c_str(), 1);
  EXPECT_FALSE(fs::exists(record));
}

TEST_F(LauncherRun, AnUntrustedTemporaryTargetIsRefused) {
  const fs::path users = scratch.path / "users-files";
  WriteBytes(users / "precious.txt", TextBytes("precious"));
  fs::create_directory_symlink(users, temp / "VANTREL");
  const std::string where = "Halvern Vantrel\n\nSetup cannot start: where its folder\n" +
                            (temp / "VANTREL").string() + "\nshould be, there is ";
  const std::string then = ".\n\nDelete or rename it, then run setup again.\n";
  const ProgramRun linked = Launch("");
  EXPECT_EQ(linked.exitCode, 1);
  EXPECT_EQ(linked.output, where + "a link to another place" + then);
  EXPECT_EQ(ListTree(users), (std::vector<std::string>{"precious.txt"}));
  // And once it leads nowhere.
  fs::rename(users, scratch.path / "moved");
  EXPECT_EQ(Launch("").output, where + "a link to another place" + then);
  fs::rename(scratch.path / "moved", users);
  fs::remove(temp / "VANTREL");
  WriteBytes(temp / "VANTREL", TextBytes("a file"));
  EXPECT_EQ(Launch("").output, where + "a file" + then);
  EXPECT_EQ(ReadBytes(temp / "VANTREL"), TextBytes("a file"));
  fs::remove(temp / "VANTREL");

  fs::create_directories(temp / "VANTREL");
  fs::permissions(temp / "VANTREL", fs::perms::all);
  EXPECT_EQ(Launch("").exitCode, 1);
  EXPECT_TRUE(fs::is_empty(temp / "VANTREL"));
  EXPECT_FALSE(fs::exists(record));
}

// A folder that cannot be made, or a folder for temporary files that is not
// there, is told as what it is, never as a file of the medium that could
// not be copied; what went wrong goes to standard error, the usage asked
// for to standard output.
TEST_F(LauncherRun, AFolderThatCannotBeMadeIsToldAsSuchOnStandardError) {
  const std::string program = (medium / "setup.exe").string();
  const auto launchTo = [&](const std::string& arguments, const char* kept) {
    return RunProgram("/bin/sh", medium,
                      "-c \"'" + program + "' " + arguments + " " + kept + "/dev/null\"");
  };
  WriteBytes(scratch.path / "a-file", TextBytes("the user's"));
  for (const fs::path& target : {scratch.path / "no" / "such" / "kit", scratch.path / "a-file"}) {
    const ProgramRun run = launchTo("'" + target.string() + "'", ">");
    EXPECT_EQ(run.exitCode, 1) << target;
    EXPECT_NE(run.output.find("Setup cannot make the folder\n"), std::string::npos)
        << target << "\n"
        << run.output;
    EXPECT_EQ(run.output.find("Setup could not copy"), std::string::npos) << run.output;
  }
  EXPECT_FALSE(fs::exists(scratch.path / "no"));
  EXPECT_EQ(ReadBytes(scratch.path / "a-file"), TextBytes("the user's"));
  setenv("TMPDIR", (scratch.path / "gone").c_str(), 1);
  const ProgramRun gone = launchTo("", ">");
  EXPECT_NE(gone.output.find("This folder for temporary files does not exist."), std::string::npos)
      << gone.output;
  setenv("TMPDIR", temp.c_str(), 1);
  EXPECT_FALSE(fs::exists(record)) << "no installer started";
  EXPECT_NE(launchTo("/?", "2>").output.find("Halvern Vantrel"), std::string::npos);
}

TEST_F(LauncherRun, PathsThatDoNotFitRefuseTheRun) {
  EXPECT_EQ(Launch(std::string(300, 'x')).exitCode, 1);
  const std::string deep = (scratch.path / std::string(250, 'y')).string();
  EXPECT_EQ(Launch("'" + deep + "'").exitCode, 1);
  EXPECT_FALSE(fs::exists(deep));
  EXPECT_FALSE(fs::exists(record));
}

}  // namespace

namespace {

TEST_F(LauncherRun, ACopyLeftByAnEarlierRunIsClearedBeforeTheRestore) {
  // An earlier run's installer outlived the wait and kept its copy.
  const fs::path stale = temp / "VANTREL";
  WriteBytes(stale / "SETUP.EXE", TextBytes("#!/bin/sh\ntouch \"$0.ran\"\n"));
  WriteBytes(stale / "readme.txt", TextBytes("an older product's readme"));
  fs::permissions(stale, fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(Launch("").exitCode, 1);
  EXPECT_EQ(fs::path(RecordValue(record, "cwd")), stale) << "the medium's own installer ran";
  EXPECT_FALSE(fs::exists(stale));
}

TEST_F(LauncherRun, TwoLaunchersAtOnceBothEndAndLeaveNoCopy) {
  const std::string launcher = "'" + (medium / "setup.exe").string() + "'";
  const ProgramRun both = RunProgram(
      "/bin/sh", medium,
      "-c \"" + launcher + " & p=\\$!; " + launcher + "; b=\\$?; wait \\$p; echo ends \\$? \\$b\"");
  EXPECT_NE(both.output.find("ends 1 1"), std::string::npos) << both.output;
  EXPECT_FALSE(fs::exists(temp / "VANTREL"));
}

}  // namespace

namespace {

TEST_F(LauncherRun, AnInstallerThatCrashesEndsTheWaitAndTheCopyIsRemoved) {
  const fs::path started = scratch.path / "started";
  WriteStored(medium / "setup.xex",
              TextBytes("#!/bin/sh\ntouch '" + started.string() + "'\nkill -SEGV $$\n"));
  EXPECT_EQ(Launch("").exitCode, 1);
  EXPECT_TRUE(fs::exists(started)) << "the installer ran before it crashed";
  EXPECT_FALSE(fs::exists(temp / "VANTREL"));
  EXPECT_TRUE(fs::exists(medium / "readme.txt")) << "the medium is left as it was";
  // No installer on the medium at all: told, and the copy goes all the same.
  fs::remove(medium / "setup.xex");
  const ProgramRun none = Launch("");
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_NE(none.output.find("Setup could not start the installer\n" + temp.string() +
                             "/VANTREL\\SETUP.EXE\n\nNo such file or directory.\n\nNothing"),
            std::string::npos)
      << none.output;
  EXPECT_TRUE(fs::is_empty(temp));
}

}  // namespace

namespace {

// Bind mounts, where this machine allows them: one in the medium showing
// the target's folder is seen as the target inside the medium, and one an
// installer makes in the copy is not entered by the removal.
bool MountBind(const fs::path& shown, const fs::path& at) {
  fs::create_directories(at);
  return RunProgram("/bin/mount", "/", "--bind '" + shown.string() + "' '" + at.string() + "'")
             .exitCode == 0;
}

// Undoes a mount when the test ends, before its folders are removed.
struct MountUndone {
  fs::path point;
  ~MountUndone() {
    while (RunProgram("/bin/mountpoint", "/", "-q '" + point.string() + "'").exitCode == 0 &&
           RunProgram("/bin/umount", "/", "'" + point.string() + "'").exitCode == 0) {
    }
  }
};

// A folder of the user's bind-mounted where the copy or a copy set aside is
// named is no copy of the launcher's: it is told, never emptied.
TEST_F(LauncherRun, AFolderMountedAtTheCopysNameIsNeverTaken) {
  const fs::path users = scratch.path / "users-files";
  WriteBytes(users / "precious.txt", TextBytes("precious"));
  struct stat own = {};
  ASSERT_EQ(stat(users.c_str(), &own), 0);
  char identity[17];
  (void)std::snprintf(identity, sizeof identity, "%016llx",
                      static_cast<unsigned long long>(own.st_ino));
  const MountUndone copy{temp / "VANTREL"};
  if (!MountBind(users, copy.point)) GTEST_SKIP() << "no bind mounts here";
  const ProgramRun run = Launch("");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find("Setup cannot start: where its folder\n" + copy.point.string()),
            std::string::npos)
      << run.output;
  EXPECT_EQ(ListTree(users), (std::vector<std::string>{"precious.txt"}));
  RunProgram("/bin/umount", "/", "'" + copy.point.string() + "'");
  fs::remove(copy.point);
  // Under the name of a copy set aside, the folder's own identity in it.
  const MountUndone aside{temp / ("VANTREL-" + std::string(identity))};
  ASSERT_TRUE(MountBind(users, aside.point));
  EXPECT_EQ(Launch("").exitCode, 1);
  EXPECT_EQ(ListTree(users), (std::vector<std::string>{"precious.txt"}));
  EXPECT_TRUE(fs::exists(record)) << "the run itself goes on";
}

// The lock is the running copy itself: however the temporary folder is
// spelled (itself, a link to it, a bind mount of it), a second run meets
// it, starts nothing, leaves the first installer's files alone and says why.
TEST_F(LauncherRun, ASecondLaunchWhileTheFirstInstallerRunsDoesNothingButSaySo) {
  const fs::path copy = temp / "VANTREL";
  const fs::path second = scratch.path / "second-record.txt";
  const fs::path linked = scratch.path / "linked-temp";
  fs::create_directory_symlink(temp, linked);
  std::vector<fs::path> spellings = {temp, linked};
  const MountUndone undone{scratch.path / "mounted-temp"};
  if (MountBind(temp, undone.point)) spellings.push_back(undone.point);
  // Long enough for three refused runs and their checks in a sanitizer's
  // build on a loaded machine, which take 3 s and more.
  setenv("VANTREL_TEST_MODE", "sleep:8000", 1);
  const pid_t first = fork();
  if (first == 0) {
    if (chdir(medium.c_str()) == 0) execl(LauncherProgram().c_str(), "setup", nullptr);
    _exit(127);
  }
  ASSERT_GT(first, 0);
  for (int i = 0; i < 400 && !fs::exists(record); ++i) usleep(10000);
  ASSERT_TRUE(fs::exists(record)) << "the first installer started";
  setenv("VANTREL_TEST_RECORD", second.c_str(), 1);
  for (const fs::path& spelling : spellings) {
    setenv("TMPDIR", spelling.c_str(), 1);
    const ProgramRun again = Launch("");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(
        again.output.find("Setup cannot start: its folder\n" + (spelling / "VANTREL").string() +
                          "\nis still in use by another program"),
        std::string::npos)
        << spelling << ": " << again.output;
    EXPECT_FALSE(fs::exists(second)) << spelling << ": nothing was started";
    ExpectRestored(copy);
  }
  int status = 0;
  ASSERT_EQ(waitpid(first, &status, 0), first);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_FALSE(fs::exists(copy));
  unsetenv("VANTREL_TEST_MODE");
  setenv("TMPDIR", temp.c_str(), 1);
  EXPECT_EQ(Launch("").exitCode, 1);
  EXPECT_TRUE(fs::exists(second)) << "a later run works";
  EXPECT_EQ(spellings.size(), 3u) << "no bind mounts here: that spelling was not tried";
}

// Whatever the target, the medium is never inside it: not the temporary
// copy, not a named parent, not a root.
TEST_F(LauncherRun, ATargetAroundTheMediumIsRefusedBeforeAnythingIsMade) {
  const fs::path inner = temp / "VANTREL" / "disk1";
  const std::vector<std::string> tree = ListTree(medium);
  fs::create_directories(inner.parent_path());
  fs::rename(medium, inner);
  const ProgramRun inside = RunProgram(inner / "setup.exe", inner, "");
  EXPECT_EQ(inside.exitCode, 1);
  EXPECT_EQ(ListTree(inner), tree) << "the medium is as it was";
  fs::rename(inner, medium);
  for (const std::string& around : {std::string("."), scratch.Text(), std::string("C:\\\\")}) {
    EXPECT_EQ(Launch("'" + around + "'").exitCode, 1) << around;
  }
  EXPECT_FALSE(fs::exists(scratch.path / "readme.txt"));
  EXPECT_FALSE(fs::exists("/SETUP.EXE"));
  EXPECT_FALSE(fs::exists(record));
}

// The installer swaps its own copy for a link to the user's files: the
// removal leaves both alone.
TEST_F(LauncherRun, ACopySwappedDuringTheRunIsEmptiedWhereItWentAndTheLinkLeftAlone) {
  const fs::path users = scratch.path / "users-files";
  WriteBytes(users / "precious.txt", TextBytes("precious"));
  WriteStored(medium / "setup.xex", TextBytes("#!/bin/sh\nmv \"$PWD\" \"$PWD.real\" && ln -s '" +
                                              users.string() + "' \"$PWD\"\n"));
  EXPECT_EQ(Launch("").exitCode, 1);
  EXPECT_EQ(ListTree(users), (std::vector<std::string>{"precious.txt"}));
  EXPECT_TRUE(fs::is_empty(temp / "VANTREL.real")) << "the run's own files go through its handle";
  EXPECT_TRUE(fs::is_symlink(temp / "VANTREL"));
}

TEST_F(LauncherRun, ACurrentDirectoryNoLauncherPathCanSpellIsRefused) {
  const fs::path odd = scratch.path / "a\\b" / "med";
  fs::create_directories(odd.parent_path());
  fs::rename(medium, odd);
  fs::create_directories(scratch.path / "a" / "b" / "med");
  const fs::path ran = scratch.path / "other-ran";
  WriteStored(scratch.path / "a" / "b" / "med" / "setup.xex",
              TextBytes("#!/bin/sh\ntouch '" + ran.string() + "'\n"));
  EXPECT_EQ(RunProgram(odd / "setup.exe", odd, "").exitCode, 1);
  EXPECT_FALSE(fs::exists(ran)) << "another medium was installed";
  EXPECT_TRUE(fs::is_empty(temp));
  EXPECT_FALSE(fs::exists(record));
}

}  // namespace

namespace {

// A program of the installer's that outlives it keeps exchanging a folder
// of the copy, or the copy itself, with a link to the user's files while the
// launcher removes the copy; the files share their names with the copy's.
// Ten rounds of each, and not one of the user's files may go.
TEST_F(LauncherRun, ARemovalRacedByExchangedLinksNeverReachesTheUsersFiles) {
  const fs::path users = scratch.path / "users-files";
  const fs::path started = scratch.path / "started";
  for (int i = 0; i < 50; ++i) {
    const std::string name = "v" + std::to_string(i);
    WriteBytes(users / name, TextBytes("precious"));
    WriteStored(medium / "l" / name, TextBytes("the copy's"));
  }
  WriteStored(medium / "setup.xex",
              TextBytes("#!/bin/sh\ntouch '" + started.string() + "'\nsleep 0.2\n"));
  const fs::path copy = temp / "VANTREL";
  for (const fs::path& swapped : {copy / "l", copy}) {
    const fs::path link = swapped.string() + "-link";
    for (int round = 0; round < 10; ++round) {
      std::atomic<bool> stop{false};
      std::thread exchanger([&] {
        while (!stop && !fs::exists(started)) usleep(1000);
        if (symlink(users.c_str(), link.c_str()) != 0) return;
        while (!stop) renameat2(AT_FDCWD, swapped.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
      });
      EXPECT_EQ(Launch("").exitCode, 1);
      stop = true;
      exchanger.join();
      ASSERT_EQ(ListTree(users).size(), 50u) << "round " << round << " of " << swapped;
      // The exchange may leave the copy, unemptied where the race kept the
      // removal out, under the link's name; remove_all takes links as links.
      fs::remove(started);
      fs::remove_all(link);
      fs::remove_all(copy);
    }
  }
}

}  // namespace

namespace {

// A copy of 256 characters holds files of 258, which a listing pattern of
// the copy could not reach; the removal through its handles takes them.
TEST_F(LauncherRun, ACopyAsLongAsItsFilesAllowIsRemovedWhole) {
  fs::path deep = temp;
  while (deep.string().size() + 11 < 248) deep /= "d";
  deep /= std::string(248 - deep.string().size() - 1, 'e');
  fs::create_directories(deep);
  ASSERT_EQ((deep / "VANTREL").string().size(), 256u);
  WriteStored(medium / "a", TextBytes("a"));
  setenv("TMPDIR", deep.c_str(), 1);
  EXPECT_EQ(Launch("").exitCode, 1);
  EXPECT_TRUE(fs::is_empty(deep));
}

TEST_F(LauncherRun, FileSystemsMountedIntoTheMediumOrTheCopyAreNotCrossed) {
  const fs::path kits = scratch.path / "kits";
  fs::create_directories(kits);
  {
    const MountUndone undone{medium / "shows-kits"};
    if (!MountBind(kits, undone.point)) GTEST_SKIP() << "no bind mounts here";
    EXPECT_EQ(Launch((kits / "new").string()).exitCode, 1);
    EXPECT_FALSE(fs::exists(kits / "new")) << "the restore ran into its own target";
    EXPECT_FALSE(fs::exists(record));
  }
  fs::remove(medium / "shows-kits");
  const fs::path users = scratch.path / "users-files";
  WriteBytes(users / "precious.txt", TextBytes("precious"));
  WriteStored(medium / "setup.xex",
              TextBytes("#!/bin/sh\nmkdir m && mount --bind '" + users.string() + "' m\n"));
  const MountUndone left{temp / "VANTREL" / "m"};
  EXPECT_EQ(Launch("").exitCode, 1);
  EXPECT_EQ(ReadBytes(users / "precious.txt"), TextBytes("precious"));
}

}  // namespace

namespace {

// The launcher started with a limit of the system set in its own process
// before it runs: an address space too crowded for a large file's buffer,
// or a disk that fills up; in the memory cgroup whose cgroup.procs is
// `group`, when given. Standard output and error together, and the peak
// resident memory in `peakKiB`.
ProgramRun LaunchLimited(const fs::path& medium, const std::string& argument, int resource,
                         rlim_t limit, const fs::path& group = {}, long* peakKiB = nullptr) {
  const std::string program = LauncherProgram().string();
  int out[2];
  if (pipe(out) != 0) return {-1, ""};
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], 1);
    dup2(out[1], 2);
    close(out[0]);
    close(out[1]);
    const rlimit cap = {limit, limit};
    FILE* procs = group.empty() ? nullptr : std::fopen(group.c_str(), "w");
    if (procs != nullptr &&
        (std::fprintf(procs, "%d\n", getpid()) < 0 || std::fclose(procs) != 0)) {
      _exit(125);
    }
    if (chdir(medium.c_str()) != 0 ||
        setrlimit(static_cast<__rlimit_resource>(resource), &cap) != 0) {
      _exit(126);
    }
    execl(program.c_str(), "setup", argument.empty() ? nullptr : argument.c_str(), nullptr);
    _exit(127);
  }
  close(out[1]);
  ProgramRun run = {-1, ""};
  char block[4096];
  ssize_t got = 0;
  while ((got = read(out[0], block, sizeof block)) > 0) {
    run.output.append(block, static_cast<std::size_t>(got));
  }
  close(out[0]);
  int status = 0;
  rusage used = {};
  if (wait4(child, &status, 0, &used) == child && WIFEXITED(status)) {
    run.exitCode = WEXITSTATUS(status);
  }
  if (WIFSIGNALED(status)) run.exitCode = 128 + WTERMSIG(status);
  if (peakKiB != nullptr) *peakKiB = used.ru_maxrss;
  return run;
}

// A memory cgroup of `bytes`, swap included, that a child joins by its
// cgroup.procs: a container's or a CI runner's limit. Version 2 where the
// memory controller is there, else version 1; `procs` empty where none can
// be made (no root, no controller).
struct MemoryGroup {
  fs::path directory;
  fs::path procs;
  MemoryGroup(const MemoryGroup&) = delete;
  MemoryGroup& operator=(const MemoryGroup&) = delete;
  ~MemoryGroup() {
    std::error_code ignored;
    if (!directory.empty()) fs::remove(directory, ignored);
  }
};

bool WriteControl(const fs::path& file, uint64_t value) {
  FILE* control = std::fopen(file.c_str(), "w");
  if (control == nullptr) return false;
  const bool written = std::fprintf(control, "%llu\n", static_cast<unsigned long long>(value)) > 0;
  return std::fclose(control) == 0 && written;
}

void MakeMemoryGroup(uint64_t bytes, MemoryGroup* group) {
  const std::string name = "vantrel-test-" + std::to_string(getpid());
  const fs::path v2 = "/sys/fs/cgroup";
  std::error_code failed;
  std::string controllers;
  std::getline(std::ifstream(v2 / "cgroup.controllers"), controllers);
  if (controllers.find("memory") != std::string::npos && fs::create_directory(v2 / name, failed)) {
    group->directory = v2 / name;
    if (WriteControl(group->directory / "memory.max", bytes)) {
      (void)WriteControl(group->directory / "memory.swap.max", 0);
      group->procs = group->directory / "cgroup.procs";
    }
    return;
  }
  const fs::path v1 = v2 / "memory";
  if (!fs::exists(v1 / "memory.limit_in_bytes") || !fs::create_directory(v1 / name, failed)) return;
  group->directory = v1 / name;
  if (WriteControl(group->directory / "memory.limit_in_bytes", bytes)) {
    (void)WriteControl(group->directory / "memory.memsw.limit_in_bytes", bytes);
    group->procs = group->directory / "cgroup.procs";
  }
}

// The box a run that lost a file ends with, as the launcher spells the path.
std::string LossBox(const fs::path& medium, const std::string& name, const std::string& why) {
  return "Halvern Vantrel\n\nSetup could not copy\n" + medium.string() + "\\" + name + "\n\n" +
         why + "\n\nNothing was installed. ";
}

// A file larger than the whole address space the launcher may have comes
// back byte for byte, and the installer starts.
TEST_F(LauncherRun, AFileLargerThanTheAddressSpaceComesBackWhole) {
  constexpr rlim_t kAddressSpace = rlim_t{96} << 20;
  if (LaunchLimited(medium, "/?", RLIMIT_AS, kAddressSpace).exitCode != 0) {
    GTEST_SKIP() << "the launcher cannot start in 96 MiB of address space (a sanitizer's shadow)";
  }
  const Bytes large = PatternBytes(std::size_t{128} << 20, 17);
  WriteStored(medium / "data" / "large.cab", large);
  const fs::path target = scratch.path / "kit";
  const ProgramRun run = LaunchLimited(medium, target.string(), RLIMIT_AS, kAddressSpace);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.output, "Copying Files. Please wait.\n");
  EXPECT_TRUE(ReadBytes(target / "data" / "large.cab") == large) << "not byte for byte";
  EXPECT_EQ(fs::path(RecordValue(record, "cwd")), target) << "the installer started";
}

// A target whose files may grow to 512 KiB only, as a FAT drive's to 4 GiB
// - 1, which the 1 MiB file of the medium does not fit (the system says
// EFBIG): no installer, the file named, nothing truncated.
TEST_F(LauncherRun, ATargetThatCannotHoldAFileStartsNoInstallerAndSaysSo) {
  constexpr rlim_t kFileSize = rlim_t{512} << 10;
  const std::string why = "The drive it goes to cannot hold a file this large";
  const fs::path target = scratch.path / "kit";
  const ProgramRun named = LaunchLimited(medium, target.string(), RLIMIT_FSIZE, kFileSize);
  EXPECT_EQ(named.exitCode, 1);
  EXPECT_NE(
      named.output.find("Setup could not copy\n" + medium.string() + "\\data\\pattern\n\n" + why),
      std::string::npos)
      << named.output;
  EXPECT_FALSE(fs::exists(record)) << "the installer was started from a copy without the file";
  EXPECT_FALSE(fs::exists(target / "data" / "pattern")) << "a truncated copy was left";
  EXPECT_EQ(ReadBytes(target / "readme.txt"), TextBytes("read me\n")) << "a named target keeps";

  const ProgramRun temporary = LaunchLimited(medium, "", RLIMIT_FSIZE, kFileSize);
  EXPECT_EQ(temporary.exitCode, 1);
  EXPECT_NE(temporary.output.find(why), std::string::npos);
  EXPECT_FALSE(fs::exists(record));
  EXPECT_TRUE(fs::is_empty(temp)) << "the temporary copy was left";
}

// Past the 2 GiB a signed 32-bit count holds, into a named target, in a
// 96 MiB memory cgroup: byte for byte, the installer started, and the run's
// resident memory bounded whatever the file's size.
TEST_F(LauncherRun, AFileOf2GiBAndMoreComesBackByteForByteInBoundedMemory) {
  constexpr uint64_t kLength = (uint64_t{2} << 30) + (uint64_t{1} << 20) + 3;
  constexpr long kPeakKiB = 24 << 10;
  if (!HasRoomFor(scratch.path, kLength)) GTEST_SKIP() << "no room on this disk for 2 GiB more";
  WriteSparseStored(medium / "data" / "disk.img", kLength, 29);
  MemoryGroup group = {{}, {}};
  MakeMemoryGroup(uint64_t{96} << 20, &group);
  const fs::path target = scratch.path / "kit";
  long peakKiB = 0;
  const ProgramRun run =
      LaunchLimited(medium, target.string(), RLIMIT_FSIZE, RLIM_INFINITY, group.procs, &peakKiB);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.output, "Copying Files. Please wait.\n");
  EXPECT_TRUE(IsComplementOf(target / "data" / "disk.img", medium / "data" / "disk.img"));
  EXPECT_EQ(fs::path(RecordValue(record, "cwd")), target) << "the installer started";
  // A sanitizer's shadow memory counts too.
  if (!kSanitized) {
    EXPECT_LE(peakKiB, kPeakKiB);
  }
  fs::remove(target / "data" / "disk.img");  // 2 GiB of disk back at once
  if (group.procs.empty()) GTEST_SKIP() << "no memory cgroup can be made here: ran without one";
}

// A run killed while it writes a large file (End task, a closed terminal,
// SIGKILL), at several moments: no file stands cut short under its name,
// nor anything beside the medium's files, and the next run into the same
// folder restores it whole and starts the installer.
TEST_F(LauncherRun, ARunKilledWhileItWritesLeavesNoFileCutShort) {
  constexpr uint64_t kLength = uint64_t{512} << 20;
  if (!HasRoomFor(scratch.path, kLength)) GTEST_SKIP() << "no room on this disk for 512 MiB more";
  WriteSparseStored(medium / "data" / "disk.img", kLength, 31);
  const fs::path target = scratch.path / "kit";
  const fs::path restored = target / "data" / "disk.img";
  const std::string program = (medium / "setup.exe").string();
  for (const int waitMs : {50, 150, 400}) {
    const pid_t child = fork();
    if (child == 0) {
      const int quiet = open("/dev/null", O_WRONLY);
      dup2(quiet, 1);
      dup2(quiet, 2);
      if (chdir(medium.c_str()) != 0) _exit(126);
      execl(program.c_str(), "setup", target.c_str(), nullptr);
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (fs::exists(restored)) {
      EXPECT_TRUE(IsComplementOf(restored, medium / "data" / "disk.img"))
          << "cut short at " << waitMs;
    }
    for (const std::string& path : ListTree(target)) {
      EXPECT_EQ(path.find("~"), std::string::npos) << path << " left at " << waitMs;
    }
  }
  const ProgramRun again = Launch(target.string());
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_TRUE(IsComplementOf(restored, medium / "data" / "disk.img")) << "not whole after a rerun";
  EXPECT_EQ(fs::path(RecordValue(record, "cwd")), target) << "the installer started";
}

// A read that fails (the memory behind /proc/self/mem's first page is never
// mapped), and a file that reads longer than its size (/proc files say 0).
TEST_F(LauncherRun, AReadErrorOrAChangedFileStartsNoInstaller) {
  fs::create_symlink("/proc/self/mem", medium / "data" / "unreadable");
  const ProgramRun failed = Launch("");
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_NE(failed.output.find(LossBox(medium, "data\\unreadable", "Input/output error.")),
            std::string::npos)
      << failed.output;
  EXPECT_FALSE(fs::exists(record));
  EXPECT_TRUE(fs::is_empty(temp));

  fs::remove(medium / "data" / "unreadable");
  fs::create_symlink("/proc/self/status", medium / "data" / "changing");
  const ProgramRun changed = Launch("");
  EXPECT_NE(changed.output.find("Setup could not copy\n" + medium.string() +
                                "\\data\\changing\n\nIt changed while it was being read."),
            std::string::npos)
      << changed.output;
  EXPECT_FALSE(fs::exists(record));
  EXPECT_TRUE(fs::is_empty(temp));
}

}  // namespace
