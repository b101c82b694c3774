// Faults a real Linux system can produce on demand: a full disk, and a file
// whose length is not what its look-up said.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>

#include "payload/payload_tree.h"
#include "tests/support/test_tree.h"

namespace {

// The restore run in a child whose files may grow to 64 KiB only: the
// system then fails the write with EFBIG, as a FAT drive does at 4 GiB - 1.
// Its result and the kind of loss noted, or -1.
struct LimitedRestore {
  int result;
  int lossKind;
};

LimitedRestore RestoreUnderFileSizeLimit(const fs::path& source, const fs::path& destination) {
  const pid_t child = fork();
  if (child == 0) {
    (void)signal(SIGXFSZ, SIG_IGN);
    constexpr rlim_t kFileSize = rlim_t{64} << 10;
    const rlimit limit = {kFileSize, kFileSize};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(255);
    FileLoss loss = {kLossNone, 0};
    const int result =
        RestorePayloadFileNotingLoss(source.c_str(), destination.c_str(), kNoOverwrite, &loss);
    _exit(result * 8 + loss.kind);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255) {
    return {-1, -1};
  }
  return {WEXITSTATUS(status) / 8, WEXITSTATUS(status) % 8};
}

// Whole, and in pieces past 4 GiB (a sparse source: no disk used): the target that cannot hold the
// file is told as such, and no truncated copy is left for later runs to keep.
TEST(RestoreFaults, AWriteThatFallsShortLeavesNoFile) {
  ScratchDir dir;
  WriteStored(dir.path / "big", PatternBytes(std::size_t{100} << 10, 5));
  WriteBytes(dir.path / "past4GiB", {});
  fs::resize_file(dir.path / "past4GiB", (std::uintmax_t{4} << 30) + 1);
  for (const char* name : {"big", "past4GiB"}) {
    const fs::path out = dir.path / "out";
    const LimitedRestore run = RestoreUnderFileSizeLimit(dir.path / name, out);
    EXPECT_EQ(run.result, kRestoreWriteFailed) << name;
    EXPECT_EQ(run.lossKind, kLossTooLargeForTarget) << name;
    EXPECT_FALSE(fs::exists(out)) << name;
  }
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
