// mkmedium's command line.
#pragma once

#include <cstdint>

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;
constexpr int kExitUsage = 64;
// Added to the signal's number, as a shell tells a program a signal ended.
constexpr int kExitStopped = 128;

enum class ToolTask { kMake, kCheck, kHelp, kVersion };

struct ToolOptions {
  ToolTask task;
  const char* source;
  const char* medium;
  const char* launcher;  // nullptr: the one built beside the tool
  const char* image;     // nullptr: no image
  const char* label;
  int targetLength;
  bool quiet;
  bool verbose;  // every note, not one line a kind
  int sourceLength;
  uint32_t codePage;  // the Windows ANSI code page every name must fit
};

// False, after telling why on standard error, for a command line that does
// not say one task completely.
bool ParseToolOptions(int argc, char** argv, ToolOptions* options);

void PrintToolHelp();

// A note, unless quiet, for a label longer than the image's Joliet volume
// name holds: Windows shows only its start.
void TellLabelCut(const ToolOptions& options);

void PrintToolVersion();
