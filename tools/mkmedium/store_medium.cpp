// Writing the planned medium: the restore transform of the payload code
// stores a file, since complementing twice gives the bytes back.
#include <cstdio>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_tasks.h"
#include "tools/mkmedium/progress_bar.h"

namespace {

bool StoreEntry(const char* source, const char* medium, const MediumEntry& entry) {
  PathBuffer from;
  PathBuffer to;
  if (!JoinPath(from, source, entry.relative) || !MakeStoredPath(to, medium, entry)) {
    (void)std::fprintf(stderr, "mkmedium: %s: path too long on this machine\n", entry.relative);
    return false;
  }
  if (entry.directory) {
    if (MakeDirectory(to)) return true;
    (void)std::fprintf(stderr, "mkmedium: cannot create %s (error %u)\n", to, ReadLastError());
    return false;
  }
  const int result = RestorePayloadFile(from, to, kNoOverwrite);
  // The restore passes over a destination it cannot create: look.
  DirEntry written;
  if (result == kRestoreDone && LookUpPath(to, &written) &&
      static_cast<uint32_t>(written.length) == entry.length && written.lengthHigh == 0) {
    return true;
  }
  if (result == kRestoreSourceUnreadable) {
    (void)std::fprintf(stderr, "mkmedium: cannot read %s, or it changed while stored\n", from);
  } else {
    (void)std::fprintf(stderr, "mkmedium: cannot write %s\n", to);
  }
  return false;
}

}  // namespace

bool StoreMedium(const char* source, const char* medium, const MediumPlan& plan, bool quiet) {
  ProgressBar bar = StartProgressBar(plan.files, plan.totalBytes, quiet);
  bool stored = true;
  for (const MediumEntry& entry : plan.entries) {
    if (!StoreEntry(source, medium, entry)) {
      stored = false;
      break;
    }
    if (!entry.directory) AdvanceProgressBar(&bar, entry.length);
  }
  FinishProgressBar(&bar);
  return stored;
}
