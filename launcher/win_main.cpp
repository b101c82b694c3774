#include "launcher/install_run.h"

extern "C" int PLATFORM_CALL WinMain(PlatformInstance /*instance*/, PlatformInstance /*previous*/,
                                     char* commandLine, int /*showCommand*/) {
  const char* argument = ReadCommandTail(commandLine);
  if (IsHelpSwitch(argument)) {
    ShowMessageBox(kUsageText, kUsageTitle, kMessageBoxOk);
    return kExitAfterUsage;
  }
  RunInstall(argument);
  return kExitAfterInstallRun;
}
