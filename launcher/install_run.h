// The entry point and the one install run of the process.
#pragma once

#include "common/paths.h"
#include "platform/platform_ops.h"

constexpr const char* kHelpSwitches[] = {"/h", "/?", "/help", "/HELP", "/H"};
constexpr char kUsageText[] =
    "Usage: setup <directory>\n\n  where <directory> is path to leave install files.";
constexpr char kUsageTitle[] = "Halvern Vantrel";
constexpr char kTempFolderName[] = "VANTREL";
constexpr char kDrivePrefixFormat[] = "C:\\%s";

constexpr int kExitAfterUsage = 0;
constexpr int kExitAfterInstallRun = 1;

// Where the run restores to, and whether that is the temporary target.
struct InstallTarget {
  PathBuffer directory;
  int temporaryFlag;
};

bool IsHelpSwitch(const char* argument);

// Chooses the target directory from the argument. False when the run must be
// refused: a path that does not fit, or no temporary-files directory.
bool ChooseTargetDirectory(const char* argument, InstallTarget* target);

void RunInstall(const char* argument);
