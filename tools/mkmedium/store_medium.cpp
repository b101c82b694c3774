// Writing the planned medium: the payload code's transform stores a file,
// since complementing twice gives the bytes back.
#include <cstdio>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/chunked_copy.h"
#include "tools/mkmedium/medium_tasks.h"
#include "tools/mkmedium/progress_bar.h"

namespace {

bool StoreEntry(const char* source, const char* medium, const MediumEntry& entry, CopyChunk* chunk,
                ProgressBar* bar) {
  PathBuffer from;
  PathBuffer to;
  if (!JoinPath(from, source, entry.relative) || !MakeStoredPath(to, medium, entry)) {
    (void)std::fprintf(stderr, "mkmedium: %s: path too long on this machine\n", entry.relative);
    return false;
  }
  if (entry.directory) {
    if (MakeDirectory(to)) return true;
    (void)std::fprintf(stderr, "mkmedium: cannot create %s: %s\n", ShowRelativePath(to).c_str(),
                       ShowLastError().c_str());
    return false;
  }
  uint32_t error = 0;
  const CopyResult copied = CopyFileInChunks(from, to, entry.length, true, chunk, bar, &error);
  if (copied == CopyResult::kDone) return true;
  if (copied == CopyResult::kStopped) return false;  // told once, as the run ends
  char words[256];
  DescribeError(error, words, sizeof words);
  if (copied == CopyResult::kWriteFailed) {
    (void)std::fprintf(stderr, "mkmedium: cannot write %s: %s\n", ShowRelativePath(to).c_str(),
                       words);
  } else if (error == 0) {
    (void)std::fprintf(stderr, "mkmedium: %s changed while it was stored: store it again\n",
                       ShowRelativePath(from).c_str());
  } else {
    (void)std::fprintf(stderr, "mkmedium: cannot read %s: %s\n", ShowRelativePath(from).c_str(),
                       words);
  }
  return false;
}

}  // namespace

bool StoreMedium(const char* source, const char* medium, const MediumPlan& plan, bool quiet) {
  ProgressBar bar = StartProgressBar("storing", plan.files, plan.totalBytes, quiet);
  bool stored = true;
  CopyChunk chunk = MakeCopyChunk();
  for (const MediumEntry& entry : plan.entries) {
    if (!StoreEntry(source, medium, entry, &chunk, &bar)) {
      stored = false;
      break;
    }
    if (!entry.directory) CountProgressFile(&bar);
  }
  FinishProgressBar(&bar);
  return stored;
}
