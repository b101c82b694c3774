// xorriso as mkmedium runs it, and the scratch folder its output and the
// trees it extracts go into.
#pragma once

#include "common/paths.h"

// Creates a new folder of the run's own in the temporary-files folder
// (TMPDIR on Linux); its own paths join with "/", which both systems and
// xorriso take. False, after telling why, when none can be made.
bool MakeScratchFolder(PathBuffer& out);

// `path` inside the scratch folder, or false when it does not fit.
bool MakeScratchPath(PathBuffer& out, const char* scratch, const char* name);

// Runs xorriso with `arguments` (its name first, the list ending in
// nullptr), its output to the file `log` instead of the terminal: no option
// of xorriso silences the banner it prints first. When it fails, says so
// with `what` and tells the log's warnings and errors on standard error.
// True when it exits 0.
bool RunXorriso(const char* const* arguments, const char* log, const char* what);

// xorriso reads an argument that starts with "-" as a command: such a path
// is spelled from the current directory instead.
bool MakeOperandPath(PathBuffer& out, const char* path);
