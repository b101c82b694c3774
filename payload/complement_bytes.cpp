#include <cstdint>
#include <cstring>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"

namespace {

// Sixteen bytes at a time: the compiler's vector type becomes SSE2 on
// x86-64; at -O2 a word loop stays scalar. Four blocks a step, each its own
// variable: a loop over an array of them went through the stack, at three
// times the instructions.
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

// The 32-bit build runs on processors without SSE2, and built for those the
// vector type went through the stack a word at a time: fifteen times the
// cost of a word loop in registers. There the steps are SSE2, taken when
// the processor has it.
#if defined(__i386__) && !defined(__SSE2__)
__attribute__((target("sse2")))
#endif
std::size_t
ComplementSteps(unsigned char* bytes, std::size_t count) {
  std::size_t i = 0;
  for (; i + kStep <= count; i += kStep) ComplementStep(bytes + i);
  return i;
}

bool HasVectorSteps() {
#if defined(__i386__) && !defined(__SSE2__)
  return CanUseSse2();
#else
  return true;
#endif
}

}  // namespace

std::size_t ComplementWords(unsigned char* bytes, std::size_t count) {
  std::size_t i = 0;
  for (; i + 4 * sizeof(uint32_t) <= count; i += 4 * sizeof(uint32_t)) {
    uint32_t a;
    uint32_t b;
    uint32_t c;
    uint32_t d;
    std::memcpy(&a, bytes + i, sizeof a);
    std::memcpy(&b, bytes + i + sizeof a, sizeof b);
    std::memcpy(&c, bytes + i + 2 * sizeof a, sizeof c);
    std::memcpy(&d, bytes + i + 3 * sizeof a, sizeof d);
    a = ~a;
    b = ~b;
    c = ~c;
    d = ~d;
    std::memcpy(bytes + i, &a, sizeof a);
    std::memcpy(bytes + i + sizeof a, &b, sizeof b);
    std::memcpy(bytes + i + 2 * sizeof a, &c, sizeof c);
    std::memcpy(bytes + i + 3 * sizeof a, &d, sizeof d);
  }
  return i;
}

void ComplementBytes(unsigned char* bytes, std::size_t count) {
  std::size_t i = HasVectorSteps() ? ComplementSteps(bytes, count) : ComplementWords(bytes, count);
  // The rest a register's word, then a byte, at a time: under 64 bytes.
  for (; i + sizeof(uintptr_t) <= count; i += sizeof(uintptr_t)) {
    uintptr_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    word = ~word;
    std::memcpy(bytes + i, &word, sizeof word);
  }
  for (; i < count; ++i) bytes[i] = static_cast<unsigned char>(~bytes[i]);
}
