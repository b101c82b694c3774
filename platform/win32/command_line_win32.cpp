#include "common/command_tail.h"
#include "platform/win32/win32_handles.h"

namespace {

bool IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

}  // namespace

// The C runtime's start-up cuts the tail by a rule of its own; the launcher
// takes it from the full command line by its own rule instead.
const char* ReadCommandTail(const char* /*entryTail*/) {
  return FindCommandTail(GetCommandLineA(), IsAnsiLeadByte);
}
