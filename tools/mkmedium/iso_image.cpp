// The medium as an ISO 9660 image, written by xorriso under a name of its
// own and moved into place only once whole.
#include <cstdio>

#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_tasks.h"

namespace {

constexpr int kPartialNameTries = 100;

// Claims a new file "IMAGE.N.part" beside the image, so that nothing that
// stands there already, and no other run, is written over.
bool ClaimPartialImage(PathBuffer& out, const char* image) {
  for (int n = 0; n < kPartialNameTries; ++n) {
    char name[kPathBufferSize + 16];
    (void)std::snprintf(name, sizeof name, "%s.%d.part", image, n);
    if (!CopyPath(out, name)) return false;
    FileHandle claimed = OpenFileForWrite(out, true);
    if (claimed == nullptr) continue;
    if (CloseFile(claimed)) return true;
    DeleteFilePath(out);
    return false;
  }
  out[0] = '\0';
  return false;
}

// xorriso reads an argument that starts with "-" as an option: such a path
// is spelled from the current directory instead.
bool MakeOperandPath(PathBuffer& out, const char* path) {
  return path[0] == '-' ? ConcatenatePath(out, "./", path) : CopyPath(out, path);
}

bool RunXorriso(const char* medium, const char* partial, const char* label) {
  PathBuffer mediumOperand;
  PathBuffer imageOperand;
  if (!MakeOperandPath(mediumOperand, medium) || !MakeOperandPath(imageOperand, partial)) {
    (void)std::fprintf(stderr, "mkmedium: %s: path too long for the image\n", partial);
    return false;
  }
  // Rock Ridge keeps the names whole for Linux, Joliet for Windows; long
  // Joliet names take up to 103 characters.
  const char* const arguments[] = {"xorriso",    "-as",          "mkisofs", "-quiet", "-r",
                                   "-J",         "-joliet-long", "-V",      label,    "-o",
                                   imageOperand, mediumOperand,  nullptr};
  const int code = RunSearchedProgram(arguments);
  if (code == 0) return true;
  if (code < 0) {
    (void)std::fprintf(stderr, "mkmedium: cannot start xorriso\n");
  } else {
    (void)std::fprintf(stderr, "mkmedium: xorriso failed (exit code %d)\n", code);
  }
  return false;
}

}  // namespace

bool WriteIsoImage(const char* medium, const char* image, const char* label) {
  PathBuffer partial;
  if (!ClaimPartialImage(partial, image)) {
    (void)std::fprintf(stderr, "mkmedium: cannot create a new file beside %s\n", image);
    return false;
  }
  if (RunXorriso(medium, partial, label)) {
    if (ReplaceFilePath(partial, image)) return true;
    (void)std::fprintf(stderr, "mkmedium: cannot put the image in place of %s (error %u)\n", image,
                       ReadLastError());
  }
  DeleteFilePath(partial);
  return false;
}
