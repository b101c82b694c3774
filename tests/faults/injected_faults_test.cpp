// Every fault a restore can meet, injected at every call where it can
// happen: the walk goes on, and no file is lost or left corrupt. A file the
// fault hit is absent, never half there.
#include "tests/faults/injected_faults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "payload/file_pieces.h"
#include "payload/payload_tree.h"
#include "tests/support/test_tree.h"

namespace {

struct FaultTally {
  int injected;
  int lost;
  int corrupted;
};

using RealTree = std::map<std::string, Bytes>;  // relative path -> real bytes

RealTree MakeMedium(const fs::path& medium) {
  RealTree tree = {
      {"SETUP.EXE", TextBytes("installer")},
      {"readme.txt", TextBytes("read me")},
      {"empty", {}},
      {"docs/ones", Bytes(5000, 0x00)},
      {"docs/zeros", Bytes(700, 0xFF)},
      {"docs/deeper/pattern", PatternBytes(70000, 1)},
      {"docs/deeper/SETUP.EXE", TextBytes("nested installer")},
      {"big/large", PatternBytes((3 << 20) + 5, 2)},   // many pieces
      {"big/piece", PatternBytes(kFilePieceSize, 4)},  // one whole piece and an empty one
      {"big/small", PatternBytes(10, 3)},
  };
  for (const auto& file : tree) {
    const fs::path stored =
        file.first.size() >= 9 && file.first.compare(file.first.size() - 9, 9, "SETUP.EXE") == 0
            ? fs::path(file.first).parent_path() / "setup.xex"
            : fs::path(file.first);
    WriteStored(medium / stored, file.second);
  }
  fs::create_directories(medium / "emptydir");
  return tree;
}

bool IsUnder(const std::string& path, const std::string& directory) {
  return directory.empty() || path.compare(0, directory.size() + 1, directory + "/") == 0;
}

// The directory below the medium or target that a listing or creation fault
// hit, as a relative path.
std::string FaultedDirectory(const fs::path& medium, const fs::path& target) {
  std::string path = Faults().faultedPath;
  const std::string pattern = "\\*.*";
  if (path.size() > pattern.size() &&
      path.compare(path.size() - pattern.size(), pattern.size(), pattern) == 0) {
    path.resize(path.size() - pattern.size());
  }
  for (const fs::path& root : {medium, target}) {
    const std::string prefix = root.string();
    if (path.compare(0, prefix.size(), prefix) == 0) {
      std::string relative = path.substr(prefix.size());
      while (!relative.empty() && (relative[0] == '\\' || relative[0] == '/')) relative.erase(0, 1);
      for (char& c : relative) c = c == '\\' ? '/' : c;
      return relative;
    }
  }
  return path;
}

void CheckRestore(const RealTree& tree, const fs::path& medium, const fs::path& target,
                  FaultKind kind, const PayloadLoss& lost, FaultTally* tally) {
  const bool brokenListing = kind == FaultKind::kListingBreaks || kind == FaultKind::kEntryUnread;
  const bool directoryFault =
      kind == FaultKind::kListing || kind == FaultKind::kMakeDirectory || brokenListing;
  const std::string faulted = directoryFault ? FaultedDirectory(medium, target) : "";
  int missing = 0;
  for (const auto& file : tree) {
    const fs::path restored = target / file.first;
    if (!fs::exists(restored)) {
      ++missing;
      if (directoryFault && !IsUnder(file.first, faulted)) ++tally->lost;
      continue;
    }
    if (ReadBytes(restored) != file.second) {
      ++tally->corrupted;
      ADD_FAILURE() << file.first << " is corrupt after a fault of kind " << static_cast<int>(kind);
    }
  }
  // A fault on one file takes that file and no other.
  if (!directoryFault && missing > 1) tally->lost += missing - 1;
  // A copy that lacks a file says so, and is never taken for a whole one.
  // A listing that broke off is a loss even past its last entry.
  if (missing > 0 || brokenListing) {
    EXPECT_NE(lost.loss.kind, kLossNone)
        << missing << " files gone after kind " << static_cast<int>(kind) << " unnoted";
  } else if (!directoryFault) {
    EXPECT_EQ(lost.loss.kind, kLossNone) << lost.path;
  }
}

FaultTally InjectEverywhere(FaultKind kind) {
  ScratchDir scratch;
  const fs::path medium = scratch.path / "medium";
  const RealTree tree = MakeMedium(medium);
  ArmFault(kind, -1);  // a dry run counts where the fault can strike
  fs::create_directories(scratch.path / "dry");
  CopyPayloadTree(medium.c_str(), (scratch.path / "dry").c_str());
  const int places = Faults().calls;
  FaultTally tally = {0, 0, 0};
  for (int at = 0; at < places; ++at) {
    const fs::path target = scratch.path / ("target" + std::to_string(at));
    fs::create_directories(target);
    ArmFault(kind, at);
    PayloadLoss lost = {{kLossNone, 0}, ""};
    CopyPayloadTreeNotingLoss(medium.c_str(), target.c_str(), &lost);
    const bool fired = Faults().fired;
    ArmFault(FaultKind::kNone, -1);
    if (!fired) continue;
    ++tally.injected;
    CheckRestore(tree, medium, target, kind, lost, &tally);
    fs::remove_all(target);
  }
  EXPECT_GT(places, 0);
  std::vector<std::string> beside;
  for (const auto& entry : fs::directory_iterator(scratch.path)) {
    beside.push_back(entry.path().filename().string());
  }
  std::sort(beside.begin(), beside.end());
  EXPECT_EQ(beside, (std::vector<std::string>{"dry", "medium"})) << "nothing beside the target";
  return tally;
}

constexpr FaultKind kEveryKind[] = {
    FaultKind::kAllocate,   FaultKind::kOpenRead,      FaultKind::kReadSize,
    FaultKind::kReadError,  FaultKind::kReadShrunk,    FaultKind::kReadGrown,
    FaultKind::kOpenWrite,  FaultKind::kWriteFails,    FaultKind::kCloseFails,
    FaultKind::kListing,    FaultKind::kMakeDirectory, FaultKind::kListingBreaks,
    FaultKind::kEntryUnread};

TEST(InjectedFaults, NoFaultLosesOrCorruptsAnyOtherFile) {
  FaultTally total = {0, 0, 0};
  for (const FaultKind kind : kEveryKind) {
    const FaultTally tally = InjectEverywhere(kind);
    EXPECT_GT(tally.injected, 0) << "kind " << static_cast<int>(kind);
    EXPECT_EQ(tally.lost, 0) << "kind " << static_cast<int>(kind);
    total.injected += tally.injected;
    total.lost += tally.lost;
    total.corrupted += tally.corrupted;
  }
  EXPECT_EQ(total.corrupted, 0);
  // A line for the figures that scripts/test prints.
  std::printf("[figures] faults injected: %d, files lost: %d, files corrupted: %d\n",
              total.injected, total.lost, total.corrupted);
}

// With no room for a buffer past the smallest piece, the files past it come
// back through that one, and every fault meets them there too.
TEST(InjectedFaults, InACrowdedAddressSpaceNoFaultLosesOrCorruptsAnyOtherFile) {
  CapAllocations(kSmallestPieceSize);
  for (const FaultKind kind : kEveryKind) {
    const FaultTally tally = InjectEverywhere(kind);
    EXPECT_GT(tally.injected, 0) << "kind " << static_cast<int>(kind);
    EXPECT_EQ(tally.lost, 0) << "kind " << static_cast<int>(kind);
    EXPECT_EQ(tally.corrupted, 0) << "kind " << static_cast<int>(kind);
  }
  CapAllocations(0);
}

// A file's own buffer that cannot be had: a file longer than the smallest
// piece comes back through one all the same, nothing told; a shorter one,
// which has no smaller buffer to go through, is told for want of memory.
TEST(InjectedFaults, AFileWhoseBufferCannotBeHadComesBackThroughASmallerOneOrIsTold) {
  ScratchDir scratch;
  const fs::path medium = scratch.path / "medium";
  const RealTree tree = MakeMedium(medium);
  for (int at = 0; at < static_cast<int>(tree.size()); ++at) {
    const fs::path target = scratch.path / ("target" + std::to_string(at));
    fs::create_directories(target);
    ArmFault(FaultKind::kAllocate, at);
    PayloadLoss lost = {{kLossNone, 0}, ""};
    CopyPayloadTreeNotingLoss(medium.c_str(), target.c_str(), &lost);
    EXPECT_TRUE(Faults().fired) << at;
    ArmFault(FaultKind::kNone, -1);
    int missing = 0;
    for (const auto& file : tree) {
      if (!fs::exists(target / file.first)) {
        ++missing;
        EXPECT_LT(file.second.size(), kSmallestPieceSize) << file.first << " at " << at;
        continue;
      }
      EXPECT_EQ(ReadBytes(target / file.first), file.second) << file.first << " at " << at;
    }
    EXPECT_LE(missing, 1) << at;
    if (missing == 1) {
      EXPECT_EQ(lost.loss.kind, kLossSystemError) << at;
      EXPECT_EQ(lost.loss.error, kErrorNotEnoughMemory) << at;
    } else {
      EXPECT_EQ(lost.loss.kind, kLossNone) << lost.path;
    }
  }
}

// 200 levels: every level whose paths fit comes back, the rest is skipped,
// and nothing is cut short or written past a buffer.
TEST(InjectedFaults, ATreeTwoHundredLevelsDeepComesBackAsFarAsItsPathsFit) {
  ScratchDir scratch;
  const fs::path medium = scratch.path / "medium";
  const fs::path target = scratch.path / "target";
  fs::path level = medium;
  for (int depth = 0; depth < 200; ++depth) {
    WriteStored(level / "f", TextBytes(std::to_string(depth)));
    level /= "d";
  }
  fs::create_directories(target);
  CopyPayloadTree(medium.c_str(), target.c_str());
  const std::size_t longest = std::max(medium.string().size(), target.string().size());
  for (int depth = 0; depth < 200; ++depth) {
    // A level is listed when "dir\*.*" fits, its file restored when "dir\f" does.
    const std::size_t directory = longest + 2 * static_cast<std::size_t>(depth);
    bool fits = true;
    for (int above = 0; above <= depth; ++above) {
      fits = fits && longest + 2 * static_cast<std::size_t>(above) + 4 <= 259;
    }
    fits = fits && directory + 2 <= 259;
    fs::path file = target;
    for (int d = 0; d < depth; ++d) file /= "d";
    file /= "f";
    ASSERT_EQ(fs::exists(file), fits) << "depth " << depth;
    if (fits) {
      EXPECT_EQ(ReadBytes(file), TextBytes(std::to_string(depth)));
    }
  }
}

// Another run's copy, opened by this one, removed by that run and made
// anew by a third before this one's lock: the lock would be on a directory
// no longer anybody's copy, and two installers would share the new one.
TEST(InjectedFaults, ACopyRemovedBeforeItsLockIsNotTaken) {
  ScratchDir scratch;
  const fs::path copy = scratch.path / "VANTREL";
  fs::create_directory(copy);
  fs::permissions(copy, fs::perms::owner_all);
  ArmFault(FaultKind::kLockWindow, 0);
  Faults().faultedPath = copy.string();
  HeldDirectory held = TakeEarlierCopy(copy.c_str());
  EXPECT_TRUE(Faults().fired);
  ArmFault(FaultKind::kNone, -1);
  EXPECT_EQ(held, nullptr);
  EXPECT_EQ(ReadLastError(), kErrorFileNotFound) << "taken for gone, so that the run starts over";
  CloseHeldDirectory(held);
  held = TakeEarlierCopy(copy.c_str());
  EXPECT_NE(held, nullptr) << "the fresh copy is no run's yet";
  CloseHeldDirectory(held);
}

}  // namespace
