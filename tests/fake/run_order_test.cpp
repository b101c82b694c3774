// The order of the whole run, and the outcomes no real test can wait for.
#include <gtest/gtest.h>

#include <algorithm>

#include "installer/installer_launch.h"
#include "launcher/install_run.h"
#include "tests/fake/recording_platform.h"

namespace {

std::vector<std::string> Without(const std::vector<std::string>& calls, const std::string& prefix) {
  std::vector<std::string> kept;
  for (const auto& call : calls) {
    if (call.compare(0, prefix.size(), prefix) != 0) kept.push_back(call);
  }
  return kept;
}

struct RunOrder : ::testing::Test {
  void SetUp() override {
    World() = FakeWorld{};
    World().sourceFiles = {{"setup.xex", "\x9e\x9d\x9c"}};
  }
};

TEST_F(RunOrder, NoticeCopyCloseLaunchTimeOutThenRemoval) {
  RunInstall("");
  const std::vector<std::string> expected = {
      "read-current-directory", "root T:\\tmp\\VANTREL", "within M:\\medium T:\\tmp\\VANTREL",
      // Asked before the copy is made or taken: not among the install files.
      "look-up T:\\tmp\\VANTREL", "within T:\\tmp M:\\medium",
      "create-private-directory T:\\tmp\\VANTREL", "list T:\\tmp\\*.*",
      "within T:\\tmp\\VANTREL M:\\medium", "start-notice-thread", "list M:\\medium\\*.*",
      "look-up T:\\tmp\\VANTREL\\SETUP.EXE", "write T:\\tmp\\VANTREL\\SETUP.EXE", "close-search",
      "find-window 32770 Vantrel 77", "send-message 16", "wait notice 5000", "release notice",
      "read-current-directory", "change-directory T:\\tmp\\VANTREL",
      "create-process Setup.exe | T:\\tmp\\VANTREL\\SETUP.EXE | T:\\tmp\\VANTREL",
      "release process", "wait thread 360000", "release thread", "change-directory M:\\medium",
      "read-held-entry", "remove-held T:\\tmp\\VANTREL"};
  EXPECT_EQ(World().calls, expected);
  ASSERT_EQ(World().written.size(), 1u);
  EXPECT_EQ(World().written[0], "abc");
}

// A copy without one of the medium's files: no installer, the copy gone,
// and only then the box.
TEST_F(RunOrder, ACopyWithAFileMissingStartsNothingAndTellsAfterTheRemoval) {
  World().sourceFiles.push_back({"data.cab", "\x9e", true});
  RunInstall("");
  const std::vector<std::string> tail = {"send-message 16",
                                         "wait notice 5000",
                                         "release notice",
                                         "read-held-entry",
                                         "remove-held T:\\tmp\\VANTREL",
                                         "message-box Halvern Vantrel"};
  const auto& calls = World().calls;
  ASSERT_GE(calls.size(), tail.size());
  EXPECT_EQ(
      std::vector<std::string>(calls.end() - static_cast<std::ptrdiff_t>(tail.size()), calls.end()),
      tail);
  EXPECT_EQ(Without(calls, "create-process").size(), calls.size());
}

TEST_F(RunOrder, ExactProcessParameters) {
  EXPECT_EQ(RunRestoredInstaller("D:\\Kit"), kWaitTimedOut);
  const ProcessRequest& request = World().lastRequest;
  EXPECT_EQ(World().lastCommandLine, "D:\\Kit\\SETUP.EXE");
  EXPECT_EQ(request.creationFlags, 0x04000228u);
  EXPECT_EQ(request.inheritHandles, 1);
  EXPECT_EQ(World().lastProcessSecurityLength, 12u);
  EXPECT_EQ(World().lastProcessInherit, 0);
  EXPECT_EQ(World().lastThreadInherit, 1);
  EXPECT_EQ(World().lastStartupLength, 68u);
  EXPECT_EQ(World().lastStartupTitle, "Please close this Window when it is done");
}

TEST_F(RunOrder, ANamedDirectoryIsNeverRemoved) {
  RunInstall("D:\\Kit");
  const auto& calls = World().calls;
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "make-directory D:\\Kit"), 1);
  EXPECT_EQ(Without(Without(calls, "create-private"), "take-earlier").size(), calls.size());
  EXPECT_EQ(Without(calls, "list T").size(), calls.size());
  EXPECT_EQ(std::find(calls.begin(), calls.end(), "remove-directory D:\\Kit"), calls.end());
  EXPECT_EQ(calls.back(), "change-directory M:\\medium");
}

TEST_F(RunOrder, ASecondLauncherOnTheTemporaryCopyDoesNothingToItAndSaysSo) {
  World().lockHeld = true;
  RunInstall("");
  EXPECT_EQ(World().calls,
            (std::vector<std::string>{
                "read-current-directory", "root T:\\tmp\\VANTREL",
                "within M:\\medium T:\\tmp\\VANTREL", "look-up T:\\tmp\\VANTREL",
                "within T:\\tmp M:\\medium", "create-private-directory T:\\tmp\\VANTREL",
                "take-earlier T:\\tmp\\VANTREL", "message-box Halvern Vantrel"}));
}

// The usage box loads DLLs too: the search is restricted before it.
TEST_F(RunOrder, TheLibrarySearchIsRestrictedBeforeAnythingElse) {
  char help[] = "/?";
  EXPECT_EQ(WinMain(nullptr, nullptr, help, 0), 0);
  EXPECT_EQ(World().calls,
            (std::vector<std::string>{"restrict-library-search", "message-box Halvern Vantrel"}));
  World().calls.clear();
  char none[] = "";
  EXPECT_EQ(WinMain(nullptr, nullptr, none, 0), 1);
  EXPECT_EQ(World().calls.front(), "restrict-library-search");
}

TEST_F(RunOrder, ABoxThatNeverComesUpIsWaitedForABoundedTime) {
  World().boxAppears = false;
  RunInstall("D:\\Kit");
  const auto& calls = World().calls;
  const auto waits = std::count(calls.begin(), calls.end(), "wait notice 10");
  EXPECT_EQ(waits, 500) << "5000 ms in steps of 10 ms";
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "release notice"), 1);
}

}  // namespace
