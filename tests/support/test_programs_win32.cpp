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

// Standard output and error go to one file that is read back once the
// program has ended.
ProgramRun RunProgram(const fs::path& program, const fs::path& workingDirectory,
                      const std::string& arguments) {
  std::string commandLine =
      "\"" + program.string() + "\"" + (arguments.empty() ? "" : " ") + arguments;
  static int runCount = 0;
  const fs::path outputFile =
      fs::temp_directory_path() / ("vantrel-output-" + std::to_string(GetCurrentProcessId()) + "-" +
                                   std::to_string(runCount++) + ".txt");
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE output =
      CreateFileA(outputFile.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  if (output != INVALID_HANDLE_VALUE) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
  }
  PROCESS_INFORMATION info;
  ProgramRun run{-1, ""};
  const BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      workingDirectory.string().c_str(), &startup, &info);
  // A start the system refused says why, where a test shows the output.
  const DWORD startError = started ? 0 : GetLastError();
  if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
  if (started) {
    WaitForSingleObject(info.hProcess, 120000);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    run.exitCode = static_cast<int>(code);
  }
  std::error_code error;
  if (fs::exists(outputFile, error)) {
    const Bytes bytes = ReadBytes(outputFile);
    run.output.assign(bytes.begin(), bytes.end());
    fs::remove(outputFile, error);
  }
  if (!started) run.output += "the test could not start it: error " + std::to_string(startError);
  return run;
}

std::string UnixPathOf(const fs::path& path) {
  using UnixFileNameCall = char*(CDECL*)(const WCHAR*);
  auto call = reinterpret_cast<UnixFileNameCall>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (call == nullptr) return "";
  char* unix = call(path.wstring().c_str());
  std::string text = unix != nullptr ? unix : "";
  HeapFree(GetProcessHeap(), 0, unix);
  return text;
}
