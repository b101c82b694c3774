// A one-line progress bar on standard error, drawn only on a terminal: by
// bytes, so that it moves inside a large file too.
#pragma once

#include <cstdint>
#include <cstdio>

struct ProgressBar {
  bool shown;
  std::FILE* stream;  // standard error, or the terminal's while it is xorriso's
  const char* task;   // what is going on, after the figures
  uint32_t files;
  uint32_t totalFiles;
  uint64_t bytes;
  uint64_t totalBytes;
  int drawnPermille;  // -1 before the first drawing
};

// With no files to count (0), only the bytes are shown.
ProgressBar StartProgressBar(const char* task, uint32_t totalFiles, uint64_t totalBytes,
                             bool quiet);
// Bytes done within the file at hand.
void AdvanceProgressBytes(ProgressBar* bar, uint64_t bytes);
// All bytes done so far: a file another program writes, as it grows.
void SetProgressBytes(ProgressBar* bar, uint64_t bytes);
// One more file done.
void CountProgressFile(ProgressBar* bar);
// Ends the line so that what follows starts on a fresh one.
void FinishProgressBar(ProgressBar* bar);
