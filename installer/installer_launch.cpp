#include "installer/installer_launch.h"

#include "common/paths.h"
#include "platform/platform_ops.h"

namespace {

uint32_t CreateAndAwaitInstaller(const char* applicationName, const char* workingDirectory,
                                 char* commandLine) {
  const SecurityRecord processSecurity = {kSecurityRecordLength, nullptr, 0};
  const SecurityRecord threadSecurity = {kSecurityRecordLength, nullptr, 1};
  const StartupRecord startup = {kStartupRecordLength, kInstallerWindowTitle, 0,
                                 kStartupShowWindow};
  const ProcessRequest request = {applicationName,  commandLine, &processSecurity,
                                  &threadSecurity,  1,           kInstallerCreationFlags,
                                  workingDirectory, &startup};
  ProcessRecord created = {};
  if (!CreateProcessFromRequest(request, &created)) return ReadLastError();
  // Nothing waits on the process itself; only its primary thread counts.
  ReleaseHandle(created.process);
  const uint32_t result = WaitForObject(created.thread, kInstallerWaitMs);
  ReleaseHandle(created.thread);
  return result;
}

}  // namespace

uint32_t LaunchInstaller(const char* applicationName, const char* workingDirectory,
                         char* commandLine) {
  // The whole buffer, so that any current directory that fits a path comes back.
  PathBuffer saved;
  if (!ReadCurrentDirectory(saved)) return ReadLastError();
  // From any other directory the bare name would find the launcher itself.
  if (!ChangeCurrentDirectory(workingDirectory)) return ReadLastError();
  const uint32_t result = CreateAndAwaitInstaller(applicationName, workingDirectory, commandLine);
  ChangeCurrentDirectory(saved);
  return result;
}

uint32_t RunRestoredInstaller(const char* targetDirectory) {
  PathBuffer commandLine;
  if (!FormatPath(commandLine, kInstallerCommandFormat, targetDirectory)) {
    return kErrorFilenameTooLong;
  }
  return LaunchInstaller(kInstallerAppName, targetDirectory, commandLine);
}
