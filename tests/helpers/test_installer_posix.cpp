// A stand-in installer: records what it was started with into the file named
// by VANTREL_TEST_RECORD, then behaves as VANTREL_TEST_MODE asks:
//   sleep:MS   stay a while before ending
//   child:MS   start a child that outlives this process by MS
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  const char* record = std::getenv("VANTREL_TEST_RECORD");
  const char* mode = std::getenv("VANTREL_TEST_MODE");
  if (record != nullptr) {
    if (FILE* out = std::fopen(record, "w")) {
      char cwd[4096] = "";
      if (getcwd(cwd, sizeof cwd) == nullptr) cwd[0] = '\0';
      std::fprintf(out, "argc=%d\n", argc);
      for (int i = 0; i < argc; ++i) std::fprintf(out, "argv%d=%s\n", i, argv[i]);
      std::fprintf(out, "cwd=%s\n", cwd);
      std::fprintf(out, "stdin-tty=%d\n", isatty(STDIN_FILENO));
      std::fprintf(out, "session-leader=%d\n", getsid(0) == getpid() ? 1 : 0);
      // Descriptors beyond the standard three that the start left open.
      int extra = 0;
      for (int fd = 3; fd < 64; ++fd) {
        if (fd != fileno(out) && fcntl(fd, F_GETFD) != -1) ++extra;
      }
      std::fprintf(out, "extra-descriptors=%d\n", extra);
      std::fclose(out);
    }
  }
  if (mode != nullptr && std::strncmp(mode, "sleep:", 6) == 0) {
    usleep(static_cast<useconds_t>(std::atoi(mode + 6)) * 1000);
  }
  if (mode != nullptr && std::strncmp(mode, "child:", 6) == 0) {
    if (fork() == 0) {
      usleep(static_cast<useconds_t>(std::atoi(mode + 6)) * 1000);
      _exit(0);
    }
  }
  return 0;
}
