// Real directory trees in a fresh temporary folder, for the suites.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using Bytes = std::vector<unsigned char>;

// A fresh directory, removed with everything in it when the test ends.
struct ScratchDir {
  fs::path path;
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string Text() const { return path.string(); }
};

void WriteBytes(const fs::path& file, const Bytes& bytes);
Bytes ReadBytes(const fs::path& file);
Bytes Complemented(Bytes bytes);
// Writes the stored form of `real`.
void WriteStored(const fs::path& file, const Bytes& real);
Bytes TextBytes(const std::string& text);
Bytes PatternBytes(std::size_t count, unsigned seed);

// Every path under `root`, relative, sorted, directories marked with a
// trailing "/".
std::vector<std::string> ListTree(const fs::path& root);
