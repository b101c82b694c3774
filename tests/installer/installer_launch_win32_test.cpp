#include <gtest/gtest.h>
#include <windows.h>

#include "installer/installer_launch.h"
#include "platform/platform_ops.h"
#include "tests/support/test_programs.h"

namespace {

struct LaunchCase : ::testing::Test {
  ScratchDir dir;
  fs::path record = dir.path / "record.txt";
  fs::path target = dir.path / "target";
  PathBuffer before = {};
  void SetUp() override {
    ASSERT_TRUE(ReadCurrentDirectory(before));
    SetEnvironmentVariableA("VANTREL_TEST_RECORD", record.string().c_str());
    SetEnvironmentVariableA("VANTREL_TEST_MODE", nullptr);
    fs::create_directories(target);
  }
  void TearDown() override {
    PathBuffer after;
    ASSERT_TRUE(ReadCurrentDirectory(after));
    EXPECT_STREQ(after, before) << "the launcher's current directory must come back";
    SetEnvironmentVariableA("VANTREL_TEST_RECORD", nullptr);
    SetEnvironmentVariableA("VANTREL_TEST_MODE", nullptr);
  }
  void PlaceInstaller() { fs::copy_file(TestInstallerProgram(), target / "SETUP.EXE"); }
  uint32_t Run() { return RunRestoredInstaller(target.string().c_str()); }
};

TEST_F(LaunchCase, TheInstallerSeesTheExactStartParameters) {
  PlaceInstaller();
  EXPECT_EQ(Run(), kWaitObjectEnded);
  EXPECT_EQ(RecordValue(record, "command-line"), target.string() + "\\SETUP.EXE");
  EXPECT_EQ(RecordValue(record, "cwd"), target.string());
  EXPECT_EQ(RecordValue(record, "title"), "Please close this Window when it is done");
  EXPECT_EQ(RecordValue(record, "startup-flags"), "0");
}

TEST_F(LaunchCase, MissingInstallerLeavesTheCurrentDirectoryAlone) {
  EXPECT_EQ(Run(), kErrorFileNotFound);
  EXPECT_FALSE(fs::exists(record));
}

TEST_F(LaunchCase, NeverStartsFromADirectoryItCouldNotEnter) {
  ASSERT_TRUE(ChangeCurrentDirectory(dir.Text().c_str()));
  fs::copy_file(TestInstallerProgram(), dir.path / "SETUP.EXE");
  EXPECT_NE(RunRestoredInstaller((dir.path / "absent").string().c_str()), kWaitObjectEnded);
  EXPECT_FALSE(fs::exists(record));
  ASSERT_TRUE(ChangeCurrentDirectory(before));
}

TEST_F(LaunchCase, ThePrimaryThreadEndingEndsTheWait) {
  PlaceInstaller();
  SetEnvironmentVariableA("VANTREL_TEST_MODE", "thread-exit:8000");
  EXPECT_EQ(Run(), kWaitObjectEnded);
  EXPECT_FALSE(fs::exists(target / "late.txt")) << "the other thread was still running";
}

}  // namespace
