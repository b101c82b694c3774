// Faults a real Linux system can produce on demand: a full disk, and a file
// whose length is not what its look-up said.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "payload/payload_tree.h"
#include "tests/support/test_tree.h"

namespace {

TEST(RestoreFaults, AWriteThatFallsShortLeavesNoFile) {
  ScratchDir dir;
  WriteStored(dir.path / "big", PatternBytes(256 * 1024, 5));
  const std::string source = (dir.path / "big").string();
  const std::string destination = (dir.path / "out").string();
  const pid_t child = fork();
  if (child == 0) {
    // A disk that fills after 64 KiB.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(RestorePayloadFile(source.c_str(), destination.c_str(), kNoOverwrite));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kRestoreWriteFailed);
  EXPECT_FALSE(fs::exists(dir.path / "out")) << "a truncated copy would be kept by later runs";
}

TEST(RestoreFaults, AFileLongerThanItsLookUpIsSkipped) {
  // Files under /proc report a size of 0 and read longer.
  ScratchDir dir;
  EXPECT_EQ(
      RestorePayloadFile("/proc/self/status", (dir.path / "out").string().c_str(), kNoOverwrite),
      kRestoreSourceUnreadable);
  EXPECT_FALSE(fs::exists(dir.path / "out"));
}

}  // namespace
