// The launcher on the medium: found beside mkmedium unless named, copied
// unchanged, made runnable.
#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_tasks.h"

bool CopyLauncher(const char* launcher, const char* medium) {
  PathBuffer to;
  DirEntry found;
  if (!JoinPath(to, medium, kLauncherFileName) || !LookUpPath(launcher, &found) ||
      IsDirectoryEntry(found) || found.lengthHigh != 0 || found.length <= 0) {
    return false;
  }
  const auto length = static_cast<std::size_t>(found.length);
  void* bytes = AllocateFileBuffer(length + 1);
  FileHandle in = bytes != nullptr ? OpenFileForRead(launcher) : nullptr;
  bool copied = false;
  if (in != nullptr) {
    copied = ReadFileBytes(in, bytes, length + 1) == static_cast<int64_t>(length);
    CloseFile(in);
  }
  FileHandle out = copied ? OpenFileForWrite(to, true) : nullptr;
  copied = out != nullptr && WriteFileBytes(out, bytes, length);
  if (out != nullptr) copied = CloseFile(out) && copied;
  if (bytes != nullptr) ReleaseFileBuffer(bytes, length + 1);
  return copied && MarkFileRunnable(to);
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
