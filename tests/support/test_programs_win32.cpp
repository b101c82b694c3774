#include <windows.h>

#include "tests/support/test_programs.h"

#ifndef VANTREL_BUILD_DIR
#error "the build names its own directory"
#endif

fs::path BuildDirectory() {
  // The build's own path is a Linux one; Wine maps the root as Z:.
  return fs::path("Z:" VANTREL_BUILD_DIR);
}
fs::path LauncherProgram() { return BuildDirectory() / "setup.exe"; }
fs::path MkmediumProgram() { return BuildDirectory() / "mkmedium.exe"; }
fs::path TestInstallerProgram() { return BuildDirectory() / "tests" / "test_installer.exe"; }

ProgramRun RunProgram(const fs::path& program, const fs::path& workingDirectory,
                      const std::string& arguments) {
  std::string commandLine =
      "\"" + program.string() + "\"" + (arguments.empty() ? "" : " ") + arguments;
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info;
  ProgramRun run{-1, ""};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      workingDirectory.string().c_str(), &startup, &info)) {
    return run;
  }
  WaitForSingleObject(info.hProcess, 120000);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  run.exitCode = static_cast<int>(code);
  return run;
}
