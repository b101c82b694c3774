// What the person at the screen is told when a run stops short of starting
// the installer: which folder or file, what happened, what to do.
#pragma once

#include <cstdint>

constexpr char kProblemTitle[] = "Halvern Vantrel";
// Room for two paths' worth of text and the system's words.
constexpr int kProblemTextSize = 1024;

// A copy that lacks a file of the medium is never handed to the installer:
// the file or folder, why, and what to do.
constexpr char kCopyFailedText[] =
    "Setup could not copy\n%s\n\n%s\n\nNothing was installed. Run setup again once this is "
    "put right.";
constexpr char kCopyChangedText[] =
    "Setup could not copy\n%s\n\nIt changed while it was being read.\n\nNothing was "
    "installed. Run setup again once nothing else writes to the installation files.";
constexpr char kCopyTooLargeText[] =
    "Setup could not copy\n%s\n\nIt is 2 GB or larger, more than setup can copy.\n\nNothing "
    "was installed. Ask for installation files that setup can copy.";

// Shows a box with `format`, the launcher's own text, in which the first %s
// stands for `subject` (a folder or file) and a second, where there is one,
// for the system's own words about `error`. Returns when it is closed.
void TellRunProblem(const char* format, const char* subject, uint32_t error);
