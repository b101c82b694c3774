#include <cstring>

#include "payload/payload_tree.h"

namespace {

// Sixteen bytes at a time: the compiler's vector type becomes SSE2 on
// x86-64 and plain words where the target has no vector registers; at -O2
// a word loop stays scalar. Four blocks a step, each its own variable: a
// loop over an array of them went through the stack, at three times the
// instructions.
using Block = uint64_t __attribute__((vector_size(16)));
constexpr std::size_t kStep = sizeof(Block) * 4;

void ComplementStep(unsigned char* bytes) {
  Block a;
  Block b;
  Block c;
  Block d;
  std::memcpy(&a, bytes, sizeof a);
  std::memcpy(&b, bytes + sizeof a, sizeof b);
  std::memcpy(&c, bytes + 2 * sizeof a, sizeof c);
  std::memcpy(&d, bytes + 3 * sizeof a, sizeof d);
  a = ~a;
  b = ~b;
  c = ~c;
  d = ~d;
  std::memcpy(bytes, &a, sizeof a);
  std::memcpy(bytes + sizeof a, &b, sizeof b);
  std::memcpy(bytes + 2 * sizeof a, &c, sizeof c);
  std::memcpy(bytes + 3 * sizeof a, &d, sizeof d);
}

}  // namespace

void ComplementBytes(unsigned char* bytes, std::size_t count) {
  std::size_t i = 0;
  for (; i + kStep <= count; i += kStep) ComplementStep(bytes + i);
  // The rest a word, then a byte, at a time: at most 63 bytes.
  for (; i + sizeof(uint64_t) <= count; i += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    word = ~word;
    std::memcpy(bytes + i, &word, sizeof word);
  }
  for (; i < count; ++i) bytes[i] = static_cast<unsigned char>(~bytes[i]);
}
