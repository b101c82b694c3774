#include "tests/support/test_tree.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>

namespace {

std::atomic<unsigned> scratchCount{0};

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

// A block at a time, not a character: the sanitizer's build reads every
// restored file of every injected fault back through here.
Bytes ReadBytes(const fs::path& file) {
  constexpr std::size_t kBlock = std::size_t{1} << 16;
  std::ifstream in(file, std::ios::binary);
  Bytes bytes;
  while (in) {
    const std::size_t had = bytes.size();
    bytes.resize(had + kBlock);
    in.read(reinterpret_cast<char*>(bytes.data() + had), static_cast<std::streamsize>(kBlock));
    bytes.resize(had + static_cast<std::size_t>(in.gcount()));
  }
  return bytes;
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
  constexpr std::size_t kPiece = std::size_t{64} << 10;
  for (uint64_t mark = 0; mark < length; mark += uint64_t{2} << 30) {
    const Bytes piece = PatternBytes(kPiece, seed++);
    out.seekp(static_cast<std::streamoff>(mark == 0 ? 0 : mark - kPiece / 2));
    out.write(reinterpret_cast<const char*>(piece.data()), kPiece);
  }
  const Bytes last = PatternBytes(kPiece, seed);
  out.seekp(static_cast<std::streamoff>(length - kPiece));
  out.write(reinterpret_cast<const char*>(last.data()), kPiece);
}

bool IsComplementOf(const fs::path& restored, const fs::path& stored) {
  std::ifstream real(restored, std::ios::binary);
  std::ifstream kept(stored, std::ios::binary);
  std::vector<char> a(std::size_t{1} << 20);
  std::vector<char> b(a.size());
  while (real && kept) {
    real.read(a.data(), static_cast<std::streamsize>(a.size()));
    kept.read(b.data(), static_cast<std::streamsize>(b.size()));
    if (real.gcount() != kept.gcount()) return false;
    for (std::streamsize i = 0; i < real.gcount(); ++i) {
      if (a[i] != static_cast<char>(~b[i])) return false;
    }
  }
  return real.eof() && kept.eof();
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
