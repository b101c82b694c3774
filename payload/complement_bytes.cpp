#include <cstring>

#include "payload/payload_tree.h"

void ComplementBytes(unsigned char* bytes, std::size_t count) {
  // Word-sized steps the compiler turns into vector code; the tail bytewise.
  std::size_t i = 0;
  for (; i + sizeof(uint64_t) <= count; i += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    word = ~word;
    std::memcpy(bytes + i, &word, sizeof word);
  }
  for (; i < count; ++i) bytes[i] = static_cast<unsigned char>(~bytes[i]);
}
