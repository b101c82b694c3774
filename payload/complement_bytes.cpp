#include <cstring>

#include "payload/payload_tree.h"

namespace {

// Sixteen bytes at a time: the compiler's vector type becomes SSE2 on
// x86-64 and plain words where the target has no vector registers; at -O2
// a word loop stays scalar.
using Block = uint64_t __attribute__((vector_size(16)));
constexpr std::size_t kBlocksPerStep = 4;

}  // namespace

void ComplementBytes(unsigned char* bytes, std::size_t count) {
  std::size_t i = 0;
  constexpr std::size_t kStep = sizeof(Block) * kBlocksPerStep;
  for (; i + kStep <= count; i += kStep) {
    Block blocks[kBlocksPerStep];
    std::memcpy(blocks, bytes + i, sizeof blocks);
    for (Block& block : blocks) block = ~block;
    std::memcpy(bytes + i, blocks, sizeof blocks);
  }
  for (; i < count; ++i) bytes[i] = static_cast<unsigned char>(~bytes[i]);
}
