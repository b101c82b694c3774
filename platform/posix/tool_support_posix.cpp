// What the vendor's tools need beyond the launcher's own operations.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform_ops.h"
#include "platform/posix/posix_paths.h"

namespace {

constexpr long kPollNanoseconds = 20L * 1000 * 1000;

int64_t ReadMonotonicSeconds() {
  timespec now = {};
  (void)clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec;
}

// Ends the child's whole process group, and waits for the child.
void EndProcessGroup(pid_t child) {
  (void)kill(-child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

int RunSearchedProgram(const char* const* arguments, uint32_t limitSeconds) {
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return kProgramNotStarted;
  // A group of its own: what it starts is ended with it, and a terminal's
  // Ctrl+C reaches the tool alone, which ends the group itself.
  // The tool's ignored file-size signal is its own: the program gets the
  // default back.
  sigset_t defaults;
  (void)sigemptyset(&defaults);
  (void)sigaddset(&defaults, SIGXFSZ);
  (void)posix_spawnattr_setsigdefault(&attributes, &defaults);
  (void)posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
  (void)posix_spawnattr_setpgroup(&attributes, 0);
  pid_t child = 0;
  // posix_spawnp takes the list as non-const by an old convention; it does
  // not change it.
  const int spawned = posix_spawnp(&child, arguments[0], nullptr, &attributes,
                                   const_cast<char* const*>(arguments), environ);
  (void)posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return kProgramNotStarted;
  const int64_t started = ReadMonotonicSeconds();
  for (;;) {
    int status = 0;
    const pid_t ended = waitpid(child, &status, WNOHANG);
    if (ended == child) return WIFEXITED(status) ? WEXITSTATUS(status) : kProgramNotStarted;
    if (ended < 0 && errno != EINTR) {
      EndProcessGroup(child);
      return kProgramNotStarted;
    }
    int outcome = 0;
    if (ReadStopRequest() != 0) {
      outcome = kProgramStopped;
    } else if (limitSeconds != 0 && ReadMonotonicSeconds() - started >= limitSeconds) {
      outcome = kProgramOverran;
    }
    if (outcome != 0) {
      EndProcessGroup(child);
      return outcome;
    }
    const timespec pause = {0, kPollNanoseconds};
    (void)nanosleep(&pause, nullptr);
  }
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
