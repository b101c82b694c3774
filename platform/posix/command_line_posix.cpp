// The tail arrives ready-made: the process entry has joined the arguments.
#include <cstring>

#include "platform/platform_ops.h"

const char* ReadCommandTail(const char* entryTail) { return entryTail; }

// A Linux user asks any program for help so; as a target, "--help" would
// only make a directory of that name at the root.
bool IsPlatformHelpSwitch(const char* argument) {
  return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
}

// Libraries come only from the loader's own paths, never from the medium.
void RestrictLibrarySearch() {}
