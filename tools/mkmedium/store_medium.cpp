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
  if (!ReadProgramPath(program)) return false;
  // Cut after the last separator of either kind.
  char* cut = program;
  for (char* c = program; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '/') cut = c;
  }
  *cut = '\0';
  DirEntry found;
  for (const char* name : {kLauncherFileName, "setup"}) {
    if (JoinPath(out, program, name) && LookUpPath(out, &found) && !IsDirectoryEntry(found)) {
      return true;
    }
  }
  out[0] = '\0';
  return false;
}

bool WriteIsoImage(const char* medium, const char* image, const char* label) {
  // Rock Ridge keeps the names whole for Linux, Joliet for Windows; long
  // Joliet names take up to 103 characters.
  const char* const arguments[] = {"xorriso", "-as",          "mkisofs", "-quiet", "-r",
                                   "-J",      "-joliet-long", "-V",      label,    "-o",
                                   image,     medium,         nullptr};
  const int code = RunSearchedProgram(arguments);
  if (code == 0) return true;
  if (code < 0)
    (void)std::fprintf(stderr, "mkmedium: cannot start xorriso\n");
  else
    (void)std::fprintf(stderr, "mkmedium: xorriso failed (exit code %d)\n", code);
  DeleteFilePath(image);
  return false;
}
