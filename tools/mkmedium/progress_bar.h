// A one-line progress bar on standard error, drawn only on a terminal.
#pragma once

#include <cstdint>

struct ProgressBar {
  bool shown;
  uint32_t files;
  uint32_t totalFiles;
  uint64_t bytes;
  uint64_t totalBytes;
  int drawnPermille;  // -1 before the first drawing
};

ProgressBar StartProgressBar(uint32_t totalFiles, uint64_t totalBytes, bool quiet);
void AdvanceProgressBar(ProgressBar* bar, uint64_t bytes);
// Ends the line so that what follows starts on a fresh one.
void FinishProgressBar(ProgressBar* bar);
