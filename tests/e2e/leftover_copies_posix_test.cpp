// What earlier runs leave in the temporary folder, met by the next run of
// the built launcher: cleared whatever it holds, set aside when it cannot
// be, and only a copy that can be neither refuses the run, with a box.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "payload/payload_tree.h"
#include "tests/support/test_programs.h"

namespace {

constexpr int kDeepLevels = 3000;  // 6,000 characters: past PATH_MAX too

struct LeftoverCopies : ::testing::Test {
  ScratchDir scratch;
  fs::path medium = scratch.path / "medium";
  fs::path temp = scratch.path / "temp";
  fs::path copy = temp / "VANTREL";
  fs::path record = temp / "record.txt";

  void SetUp() override {
    fs::create_directories(temp);
    setenv("TMPDIR", temp.c_str(), 1);
    setenv("VANTREL_TEST_RECORD", record.c_str(), 1);
    unsetenv("VANTREL_TEST_MODE");
    fs::copy_file(LauncherProgram(), (fs::create_directories(medium), medium / "setup.exe"));
    WriteStored(medium / "setup.xex", ReadBytes(TestInstallerProgram()));
    WriteStored(medium / "readme.txt", TextBytes("read me\n"));
  }
  void TearDown() override {
    // A tree deeper than a path can name, should the launcher have left it.
    if (fs::exists(copy)) RemoveTree(copy.c_str());
    unsetenv("TMPDIR");
    unsetenv("VANTREL_TEST_RECORD");
  }
  // What the temporary folder holds beside the launcher's record.
  std::vector<std::string> ListTemp() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp)) {
      if (entry.path() != record) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // Runs the launcher through a shell that sets its limits first, as
  // `user` where a user is named (and this test runs as root).
  ProgramRun LaunchAs(const std::string& limits, const std::string& user) {
    const std::string as =
        user.empty() ? "" : "setpriv --reuid=" + user + " --regid=nogroup --clear-groups ";
    return RunProgram("/bin/sh", medium, "-c \"" + limits + " exec " + as + "./setup.exe\"");
  }
  // Hands the temporary folder to `user`, as a real one is its user's.
  void GiveTemporaryFolder(const std::string& user) {
    const std::string owner = "chown -R " + user + ":nogroup '" + temp.string() + "'";
    ASSERT_EQ(RunProgram("/bin/sh", "/", "-c \"" + owner + "\"").exitCode, 0);
    fs::permissions(scratch.path, fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(medium, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  }
};

// Made relative to each level: no path could name the bottom.
void MakeDeepTree(const fs::path& top, int levels) {
  fs::create_directories(top);
  int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < levels && fd >= 0; ++i) {
    mkdirat(fd, "d", 0755);
    const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  if (fd >= 0) {
    const int file = openat(fd, "bottom.txt", O_WRONLY | O_CREAT, 0444);
    if (file >= 0) close(file);
    close(fd);
  }
}

// An installer's leftovers of every kind: read-only files and folders, one
// its owner may not even list, names of other scripts and with a trailing
// dot or blank, a tree deeper than the launcher may recurse through or hold
// open. Run as a user whom permissions bind (root is not), with 40
// descriptors and a 1 MiB stack, the next run clears it all, starts its
// own installer, and leaves no copy.
TEST_F(LeftoverCopies, EveryKindOfLeftoverIsClearedAndTheNextRunStartsItsOwn) {
  const fs::path ran = temp / "stale-ran";
  WriteBytes(copy / "SETUP.EXE", TextBytes("#!/bin/sh\ntouch '" + ran.string() + "'\n"));
  WriteBytes(copy / "locked" / "read-only.txt", TextBytes("r"));
  WriteBytes(copy / "closed" / "inside.txt", TextBytes("c"));
  WriteBytes(copy / "日本.txt", TextBytes("w"));
  WriteBytes(copy / "Жdir" / "inner.txt", TextBytes("w"));
  WriteBytes(copy / "dot." / "blank ", TextBytes("d"));
  MakeDeepTree(copy / "deep", kDeepLevels);
  // Folders of the user's that look like aside copies: one of the old
  // numbered names, one that claims an identity it does not have.
  WriteBytes(temp / "VANTREL-2" / "notes.txt", TextBytes("the user's"));
  WriteBytes(temp / "VANTREL-00000000deadbeef" / "notes.txt", TextBytes("the user's"));
  const std::string user = geteuid() == 0 ? "nobody" : "";
  if (!user.empty()) GiveTemporaryFolder(user);
  fs::permissions(copy / "SETUP.EXE", fs::perms::owner_read);
  fs::permissions(copy / "locked" / "read-only.txt", fs::perms::owner_read);
  fs::permissions(copy / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(copy / "closed", fs::perms::none);

  const ProgramRun run = LaunchAs("ulimit -n 40; ulimit -s 1024;", user);
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_FALSE(fs::exists(ran)) << "the earlier run's installer was started";
  EXPECT_EQ(fs::path(RecordValue(record, "cwd")), copy) << "the medium's own installer ran";
  EXPECT_FALSE(fs::exists(copy)) << "the copy stayed";
  EXPECT_EQ(ListTemp(), (std::vector<std::string>{"VANTREL-00000000deadbeef", "VANTREL-2"}))
      << "a copy was set aside, or the user's folders went";
  EXPECT_EQ(ReadBytes(temp / "VANTREL-2" / "notes.txt"), TextBytes("the user's"));
}

// A copy that cannot be emptied is set aside, and the run goes on in a
// fresh one; a later run clears the aside copy once it can. Only a copy
// that can be neither emptied nor moved refuses the run, and says so. What
// the user cannot delete is root's folder in the copy.
TEST_F(LeftoverCopies, AStuckCopyIsSetAsideAndOnlyOneThatCannotMoveRefuses) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can leave what a user cannot delete";
  WriteBytes(copy / "SETUP.EXE", TextBytes("#!/bin/sh\ntouch '" + (temp / "ran").string() + "'\n"));
  GiveTemporaryFolder("nobody");
  WriteBytes(copy / "roots" / "file.txt", TextBytes("root's"));
  ProgramRun run = LaunchAs("", "nobody");
  EXPECT_EQ(run.output.find("Setup cannot"), std::string::npos) << run.output;
  EXPECT_EQ(fs::path(RecordValue(record, "cwd")), copy);
  EXPECT_FALSE(fs::exists(copy)) << "the run's own copy went";
  // Named after the directory it is, so that a later run can prove it.
  struct stat stuck = {};
  ASSERT_EQ(ListTemp().size(), 1u);
  const fs::path aside = temp / ListTemp()[0];
  ASSERT_EQ(stat(aside.c_str(), &stuck), 0);
  char identity[17];
  (void)std::snprintf(identity, sizeof identity, "%016llx",
                      static_cast<unsigned long long>(stuck.st_ino));
  EXPECT_EQ(aside.filename(), std::string("VANTREL-") + identity);
  EXPECT_TRUE(fs::exists(aside / "roots" / "file.txt")) << "the stuck copy was set aside whole";
  EXPECT_FALSE(fs::exists(aside / "SETUP.EXE")) << "what could go went";
  EXPECT_FALSE(fs::exists(temp / "ran"));

  GiveTemporaryFolder("nobody");
  fs::remove(record);
  EXPECT_EQ(LaunchAs("", "nobody").exitCode, 1);
  EXPECT_TRUE(fs::exists(record));
  EXPECT_FALSE(fs::exists(aside)) << "a later run clears what was set aside";

  // Stuck again, in a folder the user may not rename in.
  WriteBytes(copy / "roots" / "file.txt", TextBytes("root's"));
  fs::permissions(copy, fs::perms::owner_all);
  ASSERT_EQ(chown(copy.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chown(temp.c_str(), 0, 0), 0);
  fs::remove(record);
  run = LaunchAs("", "nobody");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.output, "Halvern Vantrel\n\nSetup cannot start: its folder\n" + copy.string() +
                            "\nis still in use by another program, perhaps an earlier setup that "
                            "is still running.\n\nClose that program, then run setup again.\n");
  EXPECT_FALSE(fs::exists(record)) << "nothing started";
  EXPECT_TRUE(fs::exists(copy / "roots" / "file.txt"));
}

}  // namespace
