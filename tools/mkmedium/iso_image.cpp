// The medium as an ISO 9660 image, written by xorriso.
#include <cstdio>

#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_tasks.h"

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
