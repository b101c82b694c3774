// Real directory trees in a fresh temporary folder, for the suites.
#pragma once

#include <cstddef>
#include <cstdint>
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

// A stored file of `length` bytes (64 KiB at least) that takes little disk:
// holes around pieces of pattern bytes at its start, across every 2 GiB
// mark, where a 32-bit count turns over, and at its end.
void WriteSparseStored(const fs::path& file, uint64_t length, unsigned seed);
// True when every byte of `restored` is the complement of `stored`'s.
bool IsComplementOf(const fs::path& restored, const fs::path& stored);
// True when the disk under `path` has room for `bytes` more and 1 GiB to spare.
bool HasRoomFor(const fs::path& path, uint64_t bytes);

// Every path under `root`, relative, sorted, directories marked with a
// trailing "/".
std::vector<std::string> ListTree(const fs::path& root);
