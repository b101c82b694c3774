// The process entry: the arguments, joined with one blank each, are the tail
// that a Windows program's entry point would be handed.
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/platform_ops.h"

int main(int argc, char** argv) {
  // A file-size limit fails the write (EFBIG), told as a drive that cannot
  // hold the file, instead of killing the run with a truncated file left.
  (void)signal(SIGXFSZ, SIG_IGN);
  std::size_t length = 1;
  for (int i = 1; i < argc; ++i) length += std::strlen(argv[i]) + 1;
  auto* tail = static_cast<char*>(std::malloc(length));
  if (tail == nullptr) return 1;
  char* end = tail;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) *end++ = ' ';
    const std::size_t part = std::strlen(argv[i]);
    std::memcpy(end, argv[i], part);
    end += part;
  }
  *end = '\0';
  const int exitCode = WinMain(nullptr, nullptr, tail, 0);
  std::free(tail);
  return exitCode;
}
