// The address space of this very 32-bit process crowded as a launcher's
// can be: every free region of 64 MiB or more is reserved, so that a file
// of 80 MiB cannot have its whole buffer, and must come back a piece at a
// time through the real Windows calls. A 64-bit process has far too much
// address space to crowd (Wine keeps a record of every reserved page).
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "payload/payload_tree.h"
#include "tests/support/test_tree.h"

namespace {

constexpr std::size_t kLeftFree = std::size_t{64} << 20;
constexpr std::size_t kLargeFile = std::size_t{80} << 20;

// Largest first, halving down to kLeftFree: what stays free is in pieces
// smaller than that.
std::vector<void*> ReserveLargeRegions() {
  std::vector<void*> held;
  held.reserve(8192);
  for (std::size_t size = std::size_t{1} << 30; size >= kLeftFree; size /= 2) {
    while (held.size() < held.capacity()) {
      void* region = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
      if (region == nullptr) break;
      held.push_back(region);
    }
  }
  return held;
}

TEST(RestoreCrowded, AFileWhoseBufferFindsNoRoomComesBackWhole) {
  if (sizeof(void*) != 4) GTEST_SKIP() << "only a 32-bit address space can be crowded here";
  ScratchDir dir;
  const Bytes real = PatternBytes(kLargeFile + 3, 21);
  WriteStored(dir.path / "stored", real);
  const std::string source = (dir.path / "stored").string();
  const std::string destination = (dir.path / "real").string();

  std::vector<void*> held = ReserveLargeRegions();
  void* whole = VirtualAlloc(nullptr, kLargeFile, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  const bool crowded = whole == nullptr && held.size() < held.capacity();
  FileLoss loss = {kLossNone, 0};
  const int result =
      crowded ? RestorePayloadFileNotingLoss(source.c_str(), destination.c_str(), 1, &loss) : -1;
  if (whole != nullptr) VirtualFree(whole, 0, MEM_RELEASE);
  for (void* region : held) VirtualFree(region, 0, MEM_RELEASE);

  ASSERT_TRUE(crowded) << "the address space could not be crowded (" << held.size()
                       << " regions reserved)";
  EXPECT_EQ(result, kRestoreDone);
  EXPECT_EQ(loss.kind, kLossNone);
  EXPECT_TRUE(ReadBytes(dir.path / "real") == real) << "not byte for byte";
}

}  // namespace
