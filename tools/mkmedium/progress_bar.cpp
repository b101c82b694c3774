#include "tools/mkmedium/progress_bar.h"

#include <cstdio>

#include "platform/platform_ops.h"

namespace {

constexpr int kBarWidth = 30;
constexpr double kMebibyte = 1024.0 * 1024.0;

int ComputePermille(const ProgressBar& bar) {
  // Bytes tell the time a store takes, unless there are none to tell.
  if (bar.totalBytes != 0) {
    const uint64_t done = bar.bytes < bar.totalBytes ? bar.bytes : bar.totalBytes;
    return static_cast<int>(done * 1000 / bar.totalBytes);
  }
  if (bar.totalFiles != 0) return static_cast<int>(uint64_t{bar.files} * 1000 / bar.totalFiles);
  return 1000;
}

void DrawProgressBar(ProgressBar* bar, int permille) {
  char cells[kBarWidth + 1];
  const int filled = permille * kBarWidth / 1000;
  for (int i = 0; i < kBarWidth; ++i) cells[i] = i < filled ? '#' : '.';
  cells[kBarWidth] = '\0';
  char files[32] = "";
  if (bar->totalFiles != 0) {
    (void)std::snprintf(files, sizeof files, "  %u/%u files", bar->files, bar->totalFiles);
  }
  (void)std::fprintf(bar->stream, "\r[%s] %3d%%%s  %.1f/%.1f MiB  %s", cells, permille / 10, files,
                     static_cast<double>(bar->bytes) / kMebibyte,
                     static_cast<double>(bar->totalBytes) / kMebibyte, bar->task);
  (void)std::fflush(bar->stream);
  bar->drawnPermille = permille;
}

// Redrawn only when the figure moves: a terminal is slow beside a store.
void RedrawWhenMoved(ProgressBar* bar) {
  if (!bar->shown) return;
  const int permille = ComputePermille(*bar);
  if (permille != bar->drawnPermille || bar->files == bar->totalFiles) {
    DrawProgressBar(bar, permille);
  }
}

}  // namespace

ProgressBar StartProgressBar(const char* task, uint32_t totalFiles, uint64_t totalBytes,
                             bool quiet) {
  ProgressBar bar = {
      !quiet && IsErrorStreamTerminal(), stderr, task, 0, totalFiles, 0, totalBytes, -1};
  if (bar.shown) DrawProgressBar(&bar, 0);
  return bar;
}

void AdvanceProgressBytes(ProgressBar* bar, uint64_t bytes) {
  bar->bytes += bytes;
  RedrawWhenMoved(bar);
}

void SetProgressBytes(ProgressBar* bar, uint64_t bytes) {
  bar->bytes = bytes;
  RedrawWhenMoved(bar);
}

void CountProgressFile(ProgressBar* bar) {
  ++bar->files;
  RedrawWhenMoved(bar);
}

void FinishProgressBar(ProgressBar* bar) {
  if (bar->shown) (void)std::fputc('\n', bar->stream);
  bar->shown = false;
}
