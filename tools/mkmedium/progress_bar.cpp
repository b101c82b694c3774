#include "tools/mkmedium/progress_bar.h"

#include <cstdio>

#include "platform/platform_ops.h"

namespace {

constexpr int kBarWidth = 30;
constexpr double kMebibyte = 1024.0 * 1024.0;

int ComputePermille(const ProgressBar& bar) {
  // Bytes tell the time a store takes, unless there are none to tell.
  if (bar.totalBytes != 0) return static_cast<int>(bar.bytes * 1000 / bar.totalBytes);
  if (bar.totalFiles != 0) return static_cast<int>(uint64_t{bar.files} * 1000 / bar.totalFiles);
  return 1000;
}

void DrawProgressBar(ProgressBar* bar, int permille) {
  char cells[kBarWidth + 1];
  const int filled = permille * kBarWidth / 1000;
  for (int i = 0; i < kBarWidth; ++i) cells[i] = i < filled ? '#' : '.';
  cells[kBarWidth] = '\0';
  (void)std::fprintf(stderr, "\r[%s] %3d%%  %u/%u files  %.1f/%.1f MiB", cells, permille / 10,
                     bar->files, bar->totalFiles, static_cast<double>(bar->bytes) / kMebibyte,
                     static_cast<double>(bar->totalBytes) / kMebibyte);
  (void)std::fflush(stderr);
  bar->drawnPermille = permille;
}

}  // namespace

ProgressBar StartProgressBar(uint32_t totalFiles, uint64_t totalBytes, bool quiet) {
  ProgressBar bar = {!quiet && IsErrorStreamTerminal(), 0, totalFiles, 0, totalBytes, -1};
  if (bar.shown) DrawProgressBar(&bar, 0);
  return bar;
}

void AdvanceProgressBar(ProgressBar* bar, uint64_t bytes) {
  ++bar->files;
  bar->bytes += bytes;
  if (!bar->shown) return;
  // Redrawn only when the figure moves: a terminal is slow beside a store.
  const int permille = ComputePermille(*bar);
  if (permille != bar->drawnPermille || bar->files == bar->totalFiles) {
    DrawProgressBar(bar, permille);
  }
}

void FinishProgressBar(ProgressBar* bar) {
  if (bar->shown) (void)std::fputc('\n', stderr);
  bar->shown = false;
}
