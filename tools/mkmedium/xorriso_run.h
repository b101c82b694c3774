// xorriso as mkmedium runs it, and the scratch folder its output goes into.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/paths.h"

// Creates a new folder of the run's own, under a name nobody can take
// first, in the temporary-files folder (TMPDIR on Linux); its own paths join
// with "/", which both systems and xorriso take. False, after telling why,
// when none can be made.
bool MakeScratchFolder(PathBuffer& out);

// Removes the scratch folder, telling so when a stop was asked: then the
// vendor sees what the stop took back.
void RemoveScratchFolder(const char* scratch);

// `path` inside the scratch folder, or false when it does not fit.
bool MakeScratchPath(PathBuffer& out, const char* scratch, const char* name);

// True when xorriso can be started; else tells what to install, for `what`.
bool FindXorriso(const char* what);

// Runs xorriso with `arguments` (its name first, the list ending in
// nullptr), its results to the file `output` and its messages to the file
// `log` (the same file may be named twice) instead of the terminal: no
// option of xorriso silences the banner it prints first. When it fails, says
// so with `what` and tells the log's warnings and errors on standard error.
// Stopped, with all it started, after `limitSeconds` or on a stop request.
// True when it exits 0.
bool RunXorriso(const char* const* arguments, const char* output, const char* log, const char* what,
                uint32_t limitSeconds);

// Called while xorriso runs, about five times a second, with a stream on
// the terminal's standard error: the process's own is xorriso's log then.
using XorrisoWatch = void (*)(void* context, std::FILE* terminal);

// Runs xorriso as RunXorriso does, on a thread of its own, calling `watch`
// meanwhile, and once more with standard error when it has ended.
bool RunXorrisoWatched(const char* const* arguments, const char* log, const char* what,
                       uint32_t limitSeconds, XorrisoWatch watch, void* context);

// xorriso reads an argument that starts with "-" as a command: such a path
// is spelled from the current directory instead.
bool MakeOperandPath(PathBuffer& out, const char* path);

// An image file as xorriso's drive address: "stdio:" before it, so that a
// path under /dev (a RAM disk's /dev/shm) is a plain file, not a drive.
bool MakeDrivePath(PathBuffer& out, const char* path);
