// The floor of the restore's own design, for bench/run: exactly the calls
// each file needs and nothing more. A depth-first walk taking kinds from the
// listing; per file a look-up of the destination (no overwrite), the source
// opened and its size read from it, a buffer of the whole file below 256 KiB
// (one read, one complement pass, the destination created unnamed in its
// folder, one write), else of 256 KiB, read, turned and written a piece at
// a time; the destination linked to its name once whole; the closes.
// Benchmark-only: no refusal, mend or bound beyond what keeps it correct on
// the bench's own trees.
//   restore_floor SOURCE TARGET [PIECE_KIB [fadvise | map]]
// PIECE_KIB, fadvise (POSIX_FADV_SEQUENTIAL on every source) and map (the
// source mapped, each piece complemented from the mapping into the buffer:
// the read and the pass in one go, one copy fewer) are for measuring other
// designs against this one: bench/pieces.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kPathSize = 4096;
// The largest buffer: one that stays in the processor's cache from the read
// to the write.
constexpr std::size_t kPieceSize = std::size_t{256} << 10;

struct Design {
  std::size_t piece;
  bool advise;
  bool map;
};

bool JoinPath(char* out, const char* directory, const char* name) {
  const std::size_t head = std::strlen(directory);
  const std::size_t tail = std::strlen(name);
  if (head + 1 + tail >= kPathSize) return false;
  std::memcpy(out, directory, head + 1);
  out[head] = '/';
  std::memcpy(out + head + 1, name, tail + 1);
  return true;
}

// Sixty-four bytes a step in four vector registers (SSE2 on x86-64), the
// rest a word and then a byte at a time: the fastest plain pass, so that the
// launcher's own pass shows against it.
using Block = uint64_t __attribute__((vector_size(16)));

void ComplementBytes(unsigned char* bytes, std::size_t count) {
  std::size_t i = 0;
  for (; i + 4 * sizeof(Block) <= count; i += 4 * sizeof(Block)) {
    Block blocks[4];
    std::memcpy(&blocks[0], bytes + i, sizeof(Block));
    std::memcpy(&blocks[1], bytes + i + sizeof(Block), sizeof(Block));
    std::memcpy(&blocks[2], bytes + i + 2 * sizeof(Block), sizeof(Block));
    std::memcpy(&blocks[3], bytes + i + 3 * sizeof(Block), sizeof(Block));
    blocks[0] = ~blocks[0];
    blocks[1] = ~blocks[1];
    blocks[2] = ~blocks[2];
    blocks[3] = ~blocks[3];
    std::memcpy(bytes + i, &blocks[0], sizeof(Block));
    std::memcpy(bytes + i + sizeof(Block), &blocks[1], sizeof(Block));
    std::memcpy(bytes + i + 2 * sizeof(Block), &blocks[2], sizeof(Block));
    std::memcpy(bytes + i + 3 * sizeof(Block), &blocks[3], sizeof(Block));
  }
  for (; i + sizeof(uint64_t) <= count; i += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    word = ~word;
    std::memcpy(bytes + i, &word, sizeof word);
  }
  for (; i < count; ++i) bytes[i] = static_cast<unsigned char>(~bytes[i]);
}

// The complement from one place into another: the map design's read.
void ComplementInto(unsigned char* out, const unsigned char* in, std::size_t count) {
  std::size_t i = 0;
  for (; i + sizeof(Block) <= count; i += sizeof(Block)) {
    Block block;
    std::memcpy(&block, in + i, sizeof block);
    block = ~block;
    std::memcpy(out + i, &block, sizeof block);
  }
  for (; i < count; ++i) out[i] = static_cast<unsigned char>(~in[i]);
}

// The map design: each piece turned from the mapped source into the buffer.
bool CopyMappedPieces(int in, int out, std::size_t size, unsigned char* buffer,
                      std::size_t capacity) {
  if (size == 0) return true;
  void* mapped = mmap(nullptr, size, PROT_READ, MAP_SHARED, in, 0);
  if (mapped == MAP_FAILED) return false;
  const auto* bytes = static_cast<const unsigned char*>(mapped);
  bool copied = true;
  for (std::size_t at = 0; at < size && copied; at += capacity) {
    const std::size_t count = size - at < capacity ? size - at : capacity;
    ComplementInto(buffer, bytes + at, count);
    copied = write(out, buffer, count) == static_cast<ssize_t>(count);
  }
  munmap(mapped, size);
  return copied;
}

// Pieces of the whole buffer, the last read asking past the end as the
// launcher's does; false for a file that did not read as its size says.
bool CopyPieces(int in, int out, std::size_t size, unsigned char* buffer, std::size_t capacity) {
  std::size_t left = size;
  for (;;) {
    const bool last = left < capacity;
    const std::size_t expected = last ? left : capacity;
    if (read(in, buffer, last ? expected + 1 : expected) != static_cast<ssize_t>(expected)) {
      return false;
    }
    ComplementBytes(buffer, expected);
    if (write(out, buffer, expected) != static_cast<ssize_t>(expected)) return false;
    if (last) return true;
    left -= expected;
  }
}

void RestoreFile(const char* source, const char* destination, const Design& design) {
  struct stat found;
  if (lstat(destination, &found) == 0) return;
  const int in = open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0) return;
  if (design.advise) posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
  struct stat own;
  if (fstat(in, &own) != 0) {
    close(in);
    return;
  }
  const auto size = static_cast<std::size_t>(own.st_size);
  const std::size_t capacity = size < design.piece ? size + 1 : design.piece;
  auto* buffer = static_cast<unsigned char*>(std::malloc(capacity));
  // Unnamed until whole: a run that ends early leaves nothing cut short.
  char folder[kPathSize];
  std::memcpy(folder, destination, std::strlen(destination) + 1);  // joined to fit
  *std::strrchr(folder, '/') = '\0';
  const int out = buffer == nullptr ? -1 : open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (out >= 0) {
    const bool copied = design.map ? CopyMappedPieces(in, out, size, buffer, capacity)
                                   : CopyPieces(in, out, size, buffer, capacity);
    char descriptor[32];
    (void)std::snprintf(descriptor, sizeof descriptor, "/proc/self/fd/%d", out);
    if (copied) (void)!linkat(AT_FDCWD, descriptor, AT_FDCWD, destination, AT_SYMLINK_FOLLOW);
    close(out);
  }
  close(in);
  std::free(buffer);
}

void RestoreTree(const char* source, const char* target, const Design& design) {
  DIR* listing = opendir(source);
  if (listing == nullptr) return;
  while (const dirent* entry = readdir(listing)) {
    const char* name = entry->d_name;
    char from[kPathSize];
    char to[kPathSize];
    if (entry->d_type == DT_DIR) {
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      if (!JoinPath(from, source, name) || !JoinPath(to, target, name)) continue;
      mkdir(to, 0755);
      RestoreTree(from, to, design);
    } else if (entry->d_type == DT_REG) {
      // The launcher's own two names: itself left out, the installer renamed.
      if (strcasecmp(name, "setup.exe") == 0) continue;
      const char* restored = strcasecmp(name, "setup.xex") == 0 ? "SETUP.EXE" : name;
      if (!JoinPath(from, source, name) || !JoinPath(to, target, restored)) continue;
      RestoreFile(from, to, design);
    }
  }
  closedir(listing);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 5) return 64;
  const Design design = {argc > 3 ? std::strtoul(argv[3], nullptr, 10) << 10 : kPieceSize,
                         argc > 4 && std::strcmp(argv[4], "fadvise") == 0,
                         argc > 4 && std::strcmp(argv[4], "map") == 0};
  if (design.piece == 0) return 64;
  mkdir(argv[2], 0755);
  RestoreTree(argv[1], argv[2], design);
  return 0;
}
