// What the person at the screen is told when a run stops short of starting
// the installer: which folder or file, what happened, what to do.
#pragma once

#include <cstdint>

constexpr char kProblemTitle[] = "Halvern Vantrel";
// Room for two paths' worth of text and the system's words.
constexpr int kProblemTextSize = 1024;

// Shows a box with `format`, the launcher's own text, in which the first %s
// stands for `subject` (a folder or file) and a second, where there is one,
// for the system's own words about `error`. Returns when it is closed.
void TellRunProblem(const char* format, const char* subject, uint32_t error);
