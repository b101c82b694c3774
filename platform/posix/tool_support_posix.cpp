// What the vendor's tools need beyond the launcher's own operations.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform_ops.h"
#include "platform/posix/posix_paths.h"

int RunSearchedProgram(const char* const* arguments) {
  pid_t child = 0;
  // posix_spawnp takes the list as non-const by an old convention; it does
  // not change it.
  if (posix_spawnp(&child, arguments[0], nullptr, nullptr, const_cast<char* const*>(arguments),
                   environ) != 0) {
    return -1;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool IsErrorStreamTerminal() { return isatty(STDERR_FILENO) == 1; }

bool ReadProgramPath(PathBuffer& out) {
  const ssize_t length = readlink("/proc/self/exe", out, sizeof out);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof out) {
    out[0] = '\0';
    return false;
  }
  out[length] = '\0';
  return true;
}

bool MarkFileRunnable(const char* path) {
  PathBuffer native;
  return TranslatePath(path, native) && chmod(native, 0755) == 0;
}

bool ReplaceFilePath(const char* from, const char* to) {
  PathBuffer nativeFrom;
  PathBuffer nativeTo;
  return TranslatePath(from, nativeFrom) && TranslatePath(to, nativeTo) &&
         std::rename(nativeFrom, nativeTo) == 0;
}

char ReadHostSeparator() { return '/'; }

bool MakeUniqueDirectory(PathBuffer& out, const char* parent, const char* prefix) {
  PathBuffer name;
  PathBuffer native;
  if (!ConcatenatePath(name, prefix, "XXXXXX") || !ConcatenatePath(out, parent, name) ||
      !TranslatePath(out, native)) {
    out[0] = '\0';
    errno = ENAMETOOLONG;
    return false;
  }
  if (mkdtemp(native) == nullptr) {
    out[0] = '\0';
    return false;
  }
  // mkdtemp fills in the last six characters, which both spellings end in.
  const std::size_t length = std::strlen(out);
  std::memcpy(out + length - 6, native + std::strlen(native) - 6, 6);
  return true;
}
