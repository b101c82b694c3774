#include "launcher/install_run.h"

extern "C" int PLATFORM_CALL WinMain(PlatformInstance /*instance*/, PlatformInstance /*previous*/,
                                     char* commandLine, int /*showCommand*/) {
  // First of all: a box already loads DLLs, and the medium may hold some.
  RestrictLibrarySearch();
  const char* argument = ReadCommandTail(commandLine);
  if (IsHelpSwitch(argument)) {
    ShowMessageBox(kUsageText, kUsageTitle, kMessageBoxOk);
    return kExitAfterUsage;
  }
  RunInstall(argument);
  return kExitAfterInstallRun;
}
