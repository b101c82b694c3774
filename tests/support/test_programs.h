// Programs the suites run, as the build placed them.
#pragma once

#include <string>

#include "tests/support/test_tree.h"

// Directory holding the built programs (setup, the test installer).
fs::path BuildDirectory();
fs::path LauncherProgram();
fs::path TestInstallerProgram();
fs::path MkmediumProgram();

struct ProgramRun {
  int exitCode;
  std::string output;  // standard output and error together
};

// Runs a program with a working directory and arguments, waits for it.
ProgramRun RunProgram(const fs::path& program, const fs::path& workingDirectory,
                      const std::string& arguments);

// The Unix path behind a path: under Wine the one Wine maps it to (empty
// where it gives none), on Linux the path itself.
std::string UnixPathOf(const fs::path& path);

// Reads the installer's record: "key=value" lines.
std::string RecordValue(const fs::path& record, const std::string& key);
