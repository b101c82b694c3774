#include "tests/support/test_tree.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <random>

namespace {

std::atomic<unsigned> scratchCount{0};

constexpr uint64_t kSparseWindow = uint64_t{64} << 10;
constexpr uint64_t kTwoGiB = uint64_t{2} << 30;

// Where the pattern pieces of a sparse file start, in order.
std::vector<uint64_t> FindSparseWindows(uint64_t length) {
  std::vector<uint64_t> starts = {0};
  for (uint64_t mark = kTwoGiB; mark + kSparseWindow / 2 < length; mark += kTwoGiB) {
    starts.push_back(mark - kSparseWindow / 2);
  }
  if (length >= 2 * kSparseWindow) starts.push_back(length - kSparseWindow);
  return starts;
}

}  // namespace

ScratchDir::ScratchDir() {
  std::random_device seed;
  path = fs::temp_directory_path() /
         ("vantrel-test-" + std::to_string(seed()) + "-" + std::to_string(scratchCount++));
  fs::create_directories(path);
  path = fs::canonical(path);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // Read-only files must be writable again to go.
  for (auto it = fs::recursive_directory_iterator(path, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink()) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path, ignored);
}

void WriteBytes(const fs::path& file, const Bytes& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Complemented(Bytes bytes) {
  for (auto& b : bytes) b = static_cast<unsigned char>(~b);
  return bytes;
}

void WriteStored(const fs::path& file, const Bytes& real) { WriteBytes(file, Complemented(real)); }

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes PatternBytes(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  Bytes bytes(count);
  for (auto& b : bytes) b = static_cast<unsigned char>(generator());
  return bytes;
}

void WriteSparseStored(const fs::path& file, uint64_t length, unsigned seed) {
  WriteBytes(file, {});
  fs::resize_file(file, length);
  std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
  unsigned piece = seed;
  for (const uint64_t start : FindSparseWindows(length)) {
    const Bytes stored = Complemented(PatternBytes(kSparseWindow, piece++));
    out.seekp(static_cast<std::streamoff>(start));
    out.write(reinterpret_cast<const char*>(stored.data()),
              static_cast<std::streamsize>(stored.size()));
  }
}

std::string FindSparseRestoreFault(const fs::path& restored, uint64_t length, unsigned seed) {
  std::error_code error;
  const uint64_t found = fs::file_size(restored, error);
  if (error) return "no file";
  if (found != length) return "a length of " + std::to_string(found);
  std::ifstream in(restored, std::ios::binary);
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  const std::vector<uint64_t> windows = FindSparseWindows(length);
  std::vector<char> got(kChunk);
  Bytes wanted(kChunk);
  for (uint64_t at = 0; at < length; at += kChunk) {
    const auto count = static_cast<std::size_t>(std::min<uint64_t>(kChunk, length - at));
    if (!in.read(got.data(), static_cast<std::streamsize>(count)))
      return "short at " + std::to_string(at);
    std::fill(wanted.begin(), wanted.end(), 0xFF);
    for (std::size_t i = 0; i < windows.size(); ++i) {
      if (windows[i] + kSparseWindow <= at || windows[i] >= at + count) continue;
      const Bytes piece = PatternBytes(kSparseWindow, seed + static_cast<unsigned>(i));
      for (uint64_t b = std::max(at, windows[i]);
           b < std::min(at + count, windows[i] + kSparseWindow); ++b) {
        wanted[b - at] = piece[b - windows[i]];
      }
    }
    if (std::memcmp(got.data(), wanted.data(), count) != 0) {
      return "other bytes in the MiB at " + std::to_string(at);
    }
  }
  return "";
}

bool HasRoomFor(const fs::path& path, uint64_t bytes) {
  std::error_code error;
  const fs::space_info space = fs::space(path, error);
  return !error && space.available > bytes + (uint64_t{1} << 30);
}

std::vector<std::string> ListTree(const fs::path& root) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string relative = fs::relative(entry.path(), root).generic_string();
    if (entry.is_directory() && !entry.is_symlink()) relative += "/";
    found.push_back(relative);
  }
  std::sort(found.begin(), found.end());
  return found;
}
