#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>

#include "tests/support/test_programs.h"

#ifndef VANTREL_BUILD_DIR
#error "the build names its own directory"
#endif

fs::path BuildDirectory() { return VANTREL_BUILD_DIR; }
fs::path LauncherProgram() { return BuildDirectory() / "setup"; }
fs::path MkmediumProgram() { return BuildDirectory() / "mkmedium"; }
fs::path TestInstallerProgram() { return BuildDirectory() / "tests" / "test_installer"; }

ProgramRun RunProgram(const fs::path& program, const fs::path& workingDirectory,
                      const std::string& arguments) {
  const std::string command = "cd '" + workingDirectory.string() + "' && '" + program.string() +
                              "' " + arguments + " 2>&1 </dev/null";
  ProgramRun run{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> block;
  std::size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), pipe)) > 0)
    run.output.append(block.data(), got);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string UnixPathOf(const fs::path& path) { return path.string(); }
