// From raw command-line bytes to the target: the tail is found inside the
// line, and every target fits its buffer or the run is refused.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/command_tail.h"
#include "launcher/install_run.h"

namespace {

// Code page 932's lead bytes, so that double-byte names are taken too.
bool IsShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const char* text = line.c_str();  // ends at the first NUL, as a command line does
  const std::size_t length = std::strlen(text);
  const char* tail = FindCommandTail(text, IsShiftJisLeadByte);
  if (tail < text || tail > text + length) __builtin_trap();
  InstallTarget target;
  std::memset(&target, 0x5A, sizeof target);
  if (ChooseTargetDirectory(tail, &target)) {
    if (std::memchr(target.directory, '\0', sizeof target.directory) == nullptr) __builtin_trap();
    if (target.temporaryFlag != 0 && target.temporaryFlag != 1) __builtin_trap();
    if (target.directory[0] == '\0') __builtin_trap();
  }
  return 0;
}
