// A platform that records every call and answers from a script: for what a
// real system cannot show in a test (a six-minute wait, the exact order).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform_ops.h"

struct FakeFile {
  std::string path;
  std::string bytes;
  bool unreadable = false;  // listed, but its open fails
};

struct FakeWorld {
  std::vector<std::string> calls;
  std::string tempPath = "T:\\tmp\\";
  std::string currentDirectory = "M:\\medium";
  std::vector<FakeFile> sourceFiles;  // listed under currentDirectory
  uint32_t installerWait = kWaitTimedOut;
  bool boxAppears = true;
  bool lockHeld = false;  // another launcher holds the temporary copy
  uint32_t lastError = kErrorGenericFailure;
  ProcessRequest lastRequest = {};
  std::string lastCommandLine;
  std::string lastStartupTitle;
  uint32_t lastStartupLength = 0;
  uint32_t lastProcessSecurityLength = 0;
  int32_t lastProcessInherit = -1;
  int32_t lastThreadInherit = -1;
  std::vector<std::string> written;
};

// The world the fake answers from; each test sets it up afresh.
FakeWorld& World();
