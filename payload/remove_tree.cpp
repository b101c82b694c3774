// The removal's walk: a loop over a stack of levels, not recursion, so that
// no depth the file system allows runs it out of stack, and holding open
// only the deepest kHeldLevels directories and the top one (the copy, whose
// hold is the run's lock): a level further up is suspended and resumed
// through its child's parent link, checked to be the very same directory.
// A level's listing is read again after a pass that deleted something, until
// a pass deletes nothing: a file system may move entries past the point
// reached when others go.
#include <cstdlib>
#include <cstring>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

namespace {

// Two descriptors a level at most on Linux: with the top's, 18 whatever the
// depth, so that a process allowed 40 still has room for the rest of the run.
constexpr std::size_t kHeldLevels = 8;

struct WalkLevel {
  HeldDirectory directory;
  std::size_t nameOffset;  // its name in its parent, in the walk's names
  bool suspended;
  bool deletedThisPass;
  bool metThisPass;  // an entry was read in this pass: something stays
};

// The levels from the top down, and their names one after the other; both
// grow as the walk goes deeper.
struct RemovalWalk {
  WalkLevel* levels;
  std::size_t depth;
  std::size_t levelCapacity;
  unsigned char* names;
  std::size_t namesUsed;
  std::size_t namesCapacity;
};

bool GrowTo(void** block, std::size_t* capacity, std::size_t needed, std::size_t unit) {
  if (needed <= *capacity) return true;
  std::size_t grown = *capacity == 0 ? 64 : *capacity * 2;
  while (grown < needed) grown *= 2;
  void* moved = std::realloc(*block, grown * unit);
  if (moved == nullptr) return false;
  *block = moved;
  *capacity = grown;
  return true;
}

bool PushLevel(RemovalWalk* walk, HeldDirectory directory, const HeldName& name) {
  const std::size_t nameBytes = sizeof name.size + name.size;
  if (!GrowTo(reinterpret_cast<void**>(&walk->levels), &walk->levelCapacity, walk->depth + 1,
              sizeof(WalkLevel)) ||
      !GrowTo(reinterpret_cast<void**>(&walk->names), &walk->namesCapacity,
              walk->namesUsed + nameBytes, 1)) {
    return false;
  }
  walk->levels[walk->depth++] = {directory, walk->namesUsed, false, false, false};
  std::memcpy(walk->names + walk->namesUsed, &name, nameBytes);
  walk->namesUsed += nameBytes;
  // The level kHeldLevels above lets go of its descriptors; never the top.
  if (walk->depth > kHeldLevels + 1) {
    WalkLevel& far = walk->levels[walk->depth - 1 - kHeldLevels];
    SuspendHeldDirectory(far.directory);
    far.suspended = true;
  }
  return true;
}

// The name of the deepest level, as its parent lists it.
void ReadLevelName(const RemovalWalk& walk, const WalkLevel& level, HeldName* name) {
  std::memcpy(name, walk.names + level.nameOffset, sizeof name->size);
  std::memcpy(name->bytes, walk.names + level.nameOffset + sizeof name->size, name->size);
}

// Takes one entry of the deepest level: a file or link goes at once, a real
// directory becomes the next level down.
void TakeEntry(RemovalWalk* walk, const HeldEntry& entry) {
  const std::size_t at = walk->depth - 1;
  walk->levels[at].metThisPass = true;
  HeldDirectory parent = walk->levels[at].directory;
  const bool directory = (entry.attributes & kDirectoryAttribute) != 0;
  // A link or junction is never opened, only removed as itself: what it
  // leads to is not the run's to delete.
  if (directory && (entry.attributes & kReparsePointAttribute) == 0) {
    HeldDirectory child = OpenChildDirectory(parent, entry.name);
    if (child != nullptr) {
      if (PushLevel(walk, child, entry.name)) return;
      CloseHeldDirectory(child);
    }
  }
  const bool gone =
      directory ? RemoveChildDirectory(parent, entry.name) : DeleteChildFile(parent, entry.name);
  // The levels may have moved while the walk grew.
  if (gone) walk->levels[at].deletedThisPass = true;
}

// Leaves the deepest level, once a pass over it deleted nothing, and removes
// it from its parent. False when its parent cannot be held again as itself:
// the walk then stops where it is.
bool LeaveLevel(RemovalWalk* walk) {
  WalkLevel& level = walk->levels[walk->depth - 1];
  WalkLevel& parent = walk->levels[walk->depth - 2];
  if (parent.suspended) {
    if (!ResumeHeldDirectory(parent.directory, level.directory)) return false;
    parent.suspended = false;
  }
  HeldName name;
  ReadLevelName(*walk, level, &name);
  CloseHeldDirectory(level.directory);
  walk->namesUsed = level.nameOffset;
  --walk->depth;
  if (RemoveChildDirectory(parent.directory, name)) parent.deletedThisPass = true;
  return true;
}

}  // namespace

bool EmptyHeldTree(HeldDirectory top) {
  RemovalWalk walk = {nullptr, 0, 0, nullptr, 0, 0};
  const HeldName none = {0, {}};
  bool stopped = !PushLevel(&walk, top, none);
  while (!stopped) {
    WalkLevel& level = walk.levels[walk.depth - 1];
    HeldEntry entry;
    if (ReadHeldEntry(level.directory, &entry)) {
      TakeEntry(&walk, entry);
      continue;
    }
    if (level.deletedThisPass) {
      RewindHeldDirectory(level.directory);
      level.deletedThisPass = false;
      level.metThisPass = false;
      continue;
    }
    if (walk.depth == 1) break;
    stopped = !LeaveLevel(&walk);
  }
  // Empty when the last pass over the top met nothing at all.
  const bool empty = !stopped && walk.depth == 1 && !walk.levels[0].metThisPass;
  // A stopped walk leaves its levels below the top as they are, unheld.
  for (std::size_t i = walk.depth; i > 1; --i) CloseHeldDirectory(walk.levels[i - 1].directory);
  std::free(walk.levels);
  std::free(walk.names);
  return empty;
}

int RemoveTemporaryCopy(HeldDirectory copy, const char* path) {
  if (copy == nullptr || path == nullptr || path[0] == '\0') {
    CloseHeldDirectory(copy);
    return 1;
  }
  // Emptied through its hold wherever it went; the folder itself only
  // through a handle that is checked to be it, else it would be another's.
  if (EmptyHeldTree(copy)) {
    RemoveHeldDirectory(copy, path);
  } else {
    CloseHeldDirectory(copy);
  }
  return 1;
}

int RemoveTree(const char* directory) {
  HeldDirectory held = OpenDirectoryForRemoval(directory);
  if (held != nullptr) {
    EmptyHeldTree(held);
    CloseHeldDirectory(held);
  }
  // A link in the place of the directory goes as a link.
  RemoveDirectoryPath(directory);
  return 1;
}
