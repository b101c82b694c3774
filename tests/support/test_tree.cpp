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
