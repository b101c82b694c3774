#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "installer/installer_launch.h"
#include "platform/platform_ops.h"
#include "tests/support/test_programs.h"

namespace {

// A restored installer is a new file: no execute bit.
void PlaceInstaller(const fs::path& file, const fs::path& from) {
  fs::create_directories(file.parent_path());
  fs::copy_file(from, file, fs::copy_options::overwrite_existing);
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
}

struct LaunchCase : ::testing::Test {
  ScratchDir dir;
  fs::path record = dir.path / "record.txt";
  PathBuffer before = {};
  void SetUp() override {
    ASSERT_TRUE(ReadCurrentDirectory(before));
    setenv("VANTREL_TEST_RECORD", record.c_str(), 1);
    unsetenv("VANTREL_TEST_MODE");
  }
  void TearDown() override {
    PathBuffer after;
    ASSERT_TRUE(ReadCurrentDirectory(after));
    EXPECT_STREQ(after, before) << "the launcher's current directory must come back";
    unsetenv("VANTREL_TEST_RECORD");
  }
  uint32_t Run(const fs::path& target) { return RunRestoredInstaller(target.string().c_str()); }
};

TEST_F(LaunchCase, StartsTheRestoredInstallerDetachedInTheTarget) {
  const fs::path target = dir.path / "target";
  PlaceInstaller(target / "SETUP.EXE", TestInstallerProgram());
  EXPECT_EQ(Run(target), kWaitObjectEnded);
  EXPECT_EQ(RecordValue(record, "argc"), "1");
  EXPECT_EQ(RecordValue(record, "argv0"), target.string() + "\\SETUP.EXE");
  EXPECT_EQ(fs::path(RecordValue(record, "cwd")), target);
  EXPECT_EQ(RecordValue(record, "stdin-tty"), "0");
  EXPECT_EQ(RecordValue(record, "session-leader"), "1");
}

TEST_F(LaunchCase, FindsTheNameWhateverItsCaseAndRunsScripts) {
  const fs::path target = dir.path / "target";
  WriteBytes(target / "setup.EXE",
             TextBytes("#!/bin/sh\necho \"argv0=$0\" > \"$VANTREL_TEST_RECORD\"\n"));
  EXPECT_EQ(Run(target), kWaitObjectEnded);
  EXPECT_EQ(RecordValue(record, "argv0"), (target / "setup.EXE").string());
}

TEST_F(LaunchCase, BlanksInTheTargetSplitTheCommandLine) {
  const fs::path target = dir.path / "my kit";
  PlaceInstaller(target / "SETUP.EXE", TestInstallerProgram());
  EXPECT_EQ(Run(target), kWaitObjectEnded);
  EXPECT_EQ(RecordValue(record, "argc"), "2");
  EXPECT_EQ(RecordValue(record, "argv0"), (dir.path / "my").string());
  EXPECT_EQ(RecordValue(record, "argv1"), "kit\\SETUP.EXE");
}

TEST_F(LaunchCase, MissingInstallerIsTheFileNotFoundError) {
  fs::create_directories(dir.path / "target");
  EXPECT_EQ(Run(dir.path / "target"), kErrorFileNotFound);
  WriteBytes(dir.path / "target" / "SETUP.EXE", TextBytes("neither a program nor a script"));
  EXPECT_EQ(Run(dir.path / "target"), kErrorBadExeFormat);
  EXPECT_FALSE(fs::exists(record));
}

TEST_F(LaunchCase, NeverStartsFromADirectoryItCouldNotEnter) {
  // The launcher's own directory holds a SETUP.EXE that must not be started.
  ASSERT_TRUE(ChangeCurrentDirectory(dir.Text().c_str()));
  PlaceInstaller(dir.path / "SETUP.EXE", TestInstallerProgram());
  EXPECT_EQ(Run(dir.path / "absent"), kErrorFileNotFound);
  EXPECT_FALSE(fs::exists(record));
  ASSERT_TRUE(ChangeCurrentDirectory(before));
}

TEST_F(LaunchCase, ADeepCurrentDirectoryComesBackToo) {
  // 257 characters: more than the 255 a smaller save buffer would take.
  fs::path deep = dir.path;
  while (deep.string().size() < 257) {
    deep /= std::string(std::min<std::size_t>(50, 257 - deep.string().size() - 1), 'c');
  }
  ASSERT_EQ(deep.string().size(), 257u);
  fs::create_directories(deep);
  const fs::path target = dir.path / "target";
  PlaceInstaller(target / "SETUP.EXE", TestInstallerProgram());
  ASSERT_TRUE(ChangeCurrentDirectory(deep.string().c_str()));
  EXPECT_EQ(Run(target), kWaitObjectEnded);
  PathBuffer after;
  ASSERT_TRUE(ReadCurrentDirectory(after));
  EXPECT_EQ(std::string(after), deep.string());
  ASSERT_TRUE(ChangeCurrentDirectory(before));
}

TEST_F(LaunchCase, ACommandLineThatDoesNotFitIsNotStarted) {
  fs::path target = dir.path;
  while (target.string().size() < 250)
    target /= std::string(std::min<std::size_t>(60, 250 - target.string().size()), 'd');
  PlaceInstaller(target / "SETUP.EXE", TestInstallerProgram());
  EXPECT_EQ(Run(target), kErrorFilenameTooLong);
  EXPECT_FALSE(fs::exists(record));
}

TEST_F(LaunchCase, AWaitThatRunsOutLeavesTheInstallerRunning) {
  const fs::path target = dir.path / "target";
  PlaceInstaller(target / "SETUP.EXE", TestInstallerProgram());
  setenv("VANTREL_TEST_MODE", "sleep:3000", 1);
  PathBuffer commandLine;
  ASSERT_TRUE(FormatPath(commandLine, kInstallerCommandFormat, target.string().c_str()));
  const SecurityRecord security = {kSecurityRecordLength, nullptr, 0};
  const StartupRecord startup = {kStartupRecordLength, kInstallerWindowTitle, 0, 15};
  const std::string directory = target.string();
  const ProcessRequest request = {kInstallerAppName, commandLine, &security,
                                  &security,         1,           kInstallerCreationFlags,
                                  directory.c_str(), &startup};
  ProcessRecord created = {};
  ASSERT_TRUE(CreateProcessFromRequest(request, &created)) << ReadLastError();
  EXPECT_EQ(WaitForObject(created.thread, 50), kWaitTimedOut);
  EXPECT_EQ(WaitForObject(created.process, 10000), kWaitObjectEnded);
  EXPECT_EQ(WaitForObject(created.thread, 0), kWaitObjectEnded);
  ReleaseHandle(created.process);
  ReleaseHandle(created.thread);
}

}  // namespace
