// The launcher on the medium: the 32-bit Windows setup.exe that ships with
// mkmedium unless one is named, copied unchanged, made runnable.
#include <cstring>
#include <string>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/chunked_copy.h"
#include "tools/mkmedium/medium_tasks.h"

namespace {

constexpr uint32_t kPeHeaderOffsetAt = 0x3C;
constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kOptionalMagicPe32 = 0x10B;

uint16_t ReadWord(const unsigned char* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

uint32_t ReadLong(const unsigned char* at) {
  return static_cast<uint32_t>(ReadWord(at)) | (static_cast<uint32_t>(ReadWord(at + 2)) << 16);
}

}  // namespace

LauncherKind ReadHeaderKind(const unsigned char* header, std::size_t count) {
  if (count >= 4 && std::memcmp(header,
                                "\x7f"
                                "ELF",
                                4) == 0)
    return LauncherKind::kLinux;
  if (count < kPeHeaderOffsetAt + 4 || header[0] != 'M' || header[1] != 'Z') {
    return LauncherKind::kOther;
  }
  const uint32_t pe = ReadLong(header + kPeHeaderOffsetAt);
  if (pe > count - 26 || std::memcmp(header + pe, "PE\0\0", 4) != 0) return LauncherKind::kOther;
  const uint16_t machine = ReadWord(header + pe + 4);
  const uint16_t magic = ReadWord(header + pe + 24);
  if (machine == kMachineI386 && magic == kOptionalMagicPe32) return LauncherKind::kWindows32;
  if (machine == kMachineAmd64) return LauncherKind::kWindows64;
  return LauncherKind::kOther;
}

namespace {

// The folder that holds mkmedium, and the one above it.
bool ReadToolFolders(PathBuffer& folder, PathBuffer& parent) {
  PathBuffer program;
  return ReadProgramPath(program) && ReadDirectoryPart(folder, program) &&
         ReadDirectoryPart(parent, folder);
}

}  // namespace

bool CopyLauncher(const char* launcher, const char* medium) {
  PathBuffer to;
  DirEntry found;
  if (!JoinPath(to, medium, kLauncherFileName) || !LookUpPath(launcher, &found) ||
      IsDirectoryEntry(found) || found.length == 0) {
    return false;
  }
  CopyChunk chunk = MakeCopyChunk();
  return CopyFileInChunks(launcher, to, found.length, false, &chunk, nullptr) ==
             CopyResult::kDone &&
         MarkFileRunnable(to);
}

LauncherKind ReadLauncherKind(const char* path) {
  unsigned char header[kProgramHeaderBytes];
  FileHandle file = OpenFileForRead(path);
  if (file == nullptr) return LauncherKind::kUnreadable;
  const int64_t count = ReadFileBytes(file, header, sizeof header);
  CloseFile(file);
  if (count < 0) return LauncherKind::kUnreadable;
  return ReadHeaderKind(header, static_cast<std::size_t>(count));
}

const char* DescribeLauncherKind(LauncherKind kind) {
  switch (kind) {
    case LauncherKind::kWindows32:
      return "a 32-bit Windows program";
    case LauncherKind::kWindows64:
      return "a 64-bit Windows program, which 32-bit Windows cannot start";
    case LauncherKind::kLinux:
      return "a Linux program, which Windows cannot start";
    case LauncherKind::kOther:
      return "no Windows program";
    case LauncherKind::kUnreadable:
      break;
  }
  return "a file that cannot be read";
}

// Beside the tool (a Windows build, or the zip a Windows build packs); in
// the share/ folder of an installed tool; in a Linux build folder, the
// win32 build beside it. Only a 32-bit Windows program counts: every
// Windows starts it, and it is what a medium is for.
bool FindDefaultLauncher(PathBuffer& out, std::string* looked) {
  PathBuffer folder;
  PathBuffer parent;
  looked->clear();
  if (!ReadToolFolders(folder, parent)) return false;
  const char* const places[][2] = {{folder, kLauncherFileName},
                                   {parent, "share\\vantrel\\setup.exe"},
                                   {parent, "win32\\setup.exe"}};
  for (const auto& place : places) {
    if (!JoinPath(out, place[0], place[1])) continue;
    const std::string shown = ShowRelativePath(out);
    (void)CopyPath(out, shown.c_str());
    *looked += (looked->empty() ? "" : ", ") + shown;
    if (ReadLauncherKind(out) == LauncherKind::kWindows32) return true;
  }
  out[0] = '\0';
  return false;
}
