// The launcher on the medium: found beside mkmedium unless named, copied
// unchanged, made runnable.
#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/chunked_copy.h"
#include "tools/mkmedium/medium_tasks.h"

bool CopyLauncher(const char* launcher, const char* medium) {
  PathBuffer to;
  DirEntry found;
  if (!JoinPath(to, medium, kLauncherFileName) || !LookUpPath(launcher, &found) ||
      IsDirectoryEntry(found) || found.lengthHigh != 0 || found.length <= 0) {
    return false;
  }
  CopyChunk chunk = MakeCopyChunk();
  return CopyFileInChunks(launcher, to, found.length, false, &chunk) == CopyResult::kDone &&
         MarkFileRunnable(to);
}

bool FindLauncherBesideTool(PathBuffer& out) {
  PathBuffer program;
  PathBuffer directory;
  if (!ReadProgramPath(program) || !ReadDirectoryPart(directory, program)) return false;
  DirEntry found;
  for (const char* name : {kLauncherFileName, "setup"}) {
    if (JoinPath(out, directory, name) && LookUpPath(out, &found) && !IsDirectoryEntry(found)) {
      return true;
    }
  }
  out[0] = '\0';
  return false;
}
