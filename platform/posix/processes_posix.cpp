// Starting a program the way Windows starts one: found in its working
// directory with letter case ignored, run without an execute bit, detached.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <new>

#include "platform/posix/posix_paths.h"
#include "platform/posix/waitable_posix.h"

namespace {

constexpr int kMaxArguments = kPathBufferSize / 2 + 4;
constexpr std::size_t kScriptHeadSize = 256;
constexpr uint32_t kWaitPollMs = 5;

// How the child becomes the program: straight from its file, through the
// interpreter its "#!" line names, or from a copy in memory that may run.
struct ExecPlan {
  PathBuffer program;
  PathBuffer script;
  int memoryFd;  // -1 unless the program runs from a copy in memory
  char* argv[kMaxArguments + 3];
  char scriptHead[kScriptHeadSize];
  char words[kPathBufferSize];
};

// The file name of the command line's program path: "D:\Kit\SETUP.EXE"
// names SETUP.EXE. Empty when the line starts with a blank.
void ReadCommandProgramName(const char* commandLine, char* out, std::size_t size) {
  const char* start = commandLine;
  const char* end = commandLine;
  for (; *end != '\0' && *end != ' ' && *end != '\t'; ++end) {
    if (*end == '\\' || *end == '/') start = end + 1;
  }
  const auto length = static_cast<std::size_t>(end - start);
  if (length >= size) {
    out[0] = '\0';
    return;
  }
  std::memcpy(out, start, length);
  out[length] = '\0';
}

// Looks the bare name up in the working directory only, case ignored. A
// Linux directory may hold several spellings (setup.exe beside SETUP.EXE):
// the one the command line's program path names is taken, else the first.
bool FindProgram(const char* directory, const char* name, const char* commandLine, ExecPlan* plan) {
  if (std::strchr(name, '/') != nullptr || std::strchr(name, '\\') != nullptr) {
    errno = ENOENT;
    return false;
  }
  char exact[kPathBufferSize];
  ReadCommandProgramName(commandLine, exact, sizeof exact);
  DIR* listing = opendir(directory);
  if (listing == nullptr) return false;
  PathBuffer chosen = "";
  while (dirent* entry = readdir(listing)) {
    if (!NamesMatchIgnoringCase(entry->d_name, name)) continue;
    struct stat info = {};
    if (fstatat(dirfd(listing), entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode)) continue;
    const bool spelled = std::strcmp(entry->d_name, exact) == 0;
    if (chosen[0] == '\0' || spelled) CopyPath(chosen, entry->d_name);
    if (spelled) break;
  }
  closedir(listing);
  const bool found = chosen[0] != '\0' && JoinPath(plan->program, directory, chosen) &&
                     TranslatePath(plan->program, plan->program);
  if (!found) errno = ENOENT;
  return found;
}

// The command line reaches the program split at blanks, as the C runtime
// of a Windows program would split it without quotes.
int SplitWords(const char* commandLine, ExecPlan* plan) {
  CopyPath(plan->words, commandLine);
  int count = 0;
  char* cursor = nullptr;
  for (char* word = strtok_r(plan->words, " \t", &cursor); word != nullptr && count < kMaxArguments;
       word = strtok_r(nullptr, " \t", &cursor)) {
    plan->argv[count++] = word;
  }
  plan->argv[count] = nullptr;
  return count;
}

bool CopyIntoMemory(const char* program, ExecPlan* plan) {
  const int source = open(program, O_RDONLY | O_CLOEXEC);
  if (source < 0) return false;
  plan->memoryFd = static_cast<int>(syscall(SYS_memfd_create, "SETUP.EXE", MFD_CLOEXEC));
  bool copied = plan->memoryFd >= 0;
  char block[65536];
  while (copied) {
    const ssize_t got = read(source, block, sizeof block);
    if (got <= 0) {
      copied = got == 0;
      break;
    }
    copied = write(plan->memoryFd, block, static_cast<std::size_t>(got)) == got;
  }
  close(source);
  return copied;
}

// Decides, in the parent, everything the child will do, so that the child
// after fork makes only async-signal-safe calls.
bool PlanExec(const char* commandLine, ExecPlan* plan) {
  const int words = SplitWords(commandLine, plan);
  if (words == 0) {
    plan->argv[0] = plan->program;
    plan->argv[1] = nullptr;
  }
  if (access(plan->program, X_OK) == 0) return true;

  const int file = open(plan->program, O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  const ssize_t got = read(file, plan->scriptHead, kScriptHeadSize - 1);
  close(file);
  if (got >= 2 && plan->scriptHead[0] == '#' && plan->scriptHead[1] == '!') {
    plan->scriptHead[got] = '\0';
    char* line = plan->scriptHead + 2;
    line[std::strcspn(line, "\n")] = '\0';
    char* cursor = nullptr;
    char* interpreter = strtok_r(line, " \t", &cursor);
    char* option = strtok_r(nullptr, "", &cursor);
    if (interpreter == nullptr) {
      errno = ENOEXEC;
      return false;
    }
    // interpreter [option] script arguments..., as the kernel runs a script
    char* rest[kMaxArguments + 1];
    int count = 0;
    for (int i = 1; i < words && plan->argv[i] != nullptr; ++i) rest[count++] = plan->argv[i];
    int at = 0;
    plan->argv[at++] = interpreter;
    if (option != nullptr) plan->argv[at++] = option;
    CopyPath(plan->script, plan->program);
    plan->argv[at++] = plan->script;
    for (int i = 0; i < count; ++i) plan->argv[at++] = rest[i];
    plan->argv[at] = nullptr;
    CopyPath(plan->program, interpreter);
    return true;
  }
  return CopyIntoMemory(plan->program, plan);
}

[[noreturn]] void BecomeProgram(const ExecPlan& plan, const char* directory, int report) {
  setsid();
  // The launcher's ignored file-size signal is its own, not the installer's.
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  (void)sigaction(SIGXFSZ, &fallback, nullptr);
  const int nothing = open("/dev/null", O_RDONLY);
  if (nothing > STDIN_FILENO) {
    dup2(nothing, STDIN_FILENO);
    close(nothing);
  }
  if (chdir(directory) == 0) {
    if (plan.memoryFd >= 0) {
      fexecve(plan.memoryFd, plan.argv, environ);
    } else {
      execve(plan.program, plan.argv, environ);
    }
  }
  const int error = errno;
  (void)!write(report, &error, sizeof error);
  _exit(127);
}

// Parent side: the exec reports its failure through the pipe; an empty
// read means the program is running.
bool RunChild(const ExecPlan& plan, const char* directory, pid_t* child) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t pid = fork();
  if (pid == 0) BecomeProgram(plan, directory, report[1]);
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    return false;
  }
  int error = 0;
  ssize_t got;
  do {
    got = read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  if (got > 0) {
    waitpid(pid, nullptr, 0);
    errno = error;
    return false;
  }
  *child = pid;
  return true;
}

PlatformWaitable* MakeProcessHandle(pid_t pid) {
  auto* handle = new (std::nothrow) PlatformWaitable{kWaitableProcess, pid, -1, nullptr};
  if (handle != nullptr) handle->pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  return handle;
}

bool HasExited(pid_t pid) {
  siginfo_t info = {};
  // WNOWAIT keeps the child for the process's other handle.
  if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    return errno == ECHILD;
  }
  return info.si_pid == pid;
}

}  // namespace

bool CreateProcessFromRequest(const ProcessRequest& request, ProcessRecord* created) {
  PathBuffer directory;
  if (!TranslatePath(request.currentDirectory, directory)) return false;
  ExecPlan plan = {};
  plan.memoryFd = -1;
  pid_t pid = 0;
  bool started = FindProgram(directory, request.applicationName, request.commandLine, &plan) &&
                 PlanExec(request.commandLine, &plan) && RunChild(plan, directory, &pid);
  int error = errno;
  if (plan.memoryFd >= 0) close(plan.memoryFd);
  if (started) {
    created->process = MakeProcessHandle(pid);
    created->thread = MakeProcessHandle(pid);
    created->processId = static_cast<uint32_t>(pid);
    created->threadId = static_cast<uint32_t>(pid);
    started = created->process != nullptr && created->thread != nullptr;
    if (!started) {
      // The program runs, but without both handles the caller cannot wait.
      ReleaseHandle(created->process);
      ReleaseHandle(created->thread);
      *created = {};
      error = ENOMEM;
    }
  }
  errno = started ? 0 : error;
  return started;
}

uint32_t WaitForProcess(PlatformWaitable* process, uint32_t milliseconds) {
  timespec start = {};
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    if (HasExited(process->pid)) {
      waitpid(process->pid, nullptr, WNOHANG);
      return kWaitObjectEnded;
    }
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t elapsed =
        (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (elapsed >= milliseconds) return kWaitTimedOut;
    const int left = static_cast<int>(milliseconds - elapsed);
    if (process->pidFd >= 0) {
      pollfd ready = {process->pidFd, POLLIN, 0};
      if (poll(&ready, 1, left) < 0 && errno != EINTR) return kWaitFailed;
    } else {
      const timespec step = {0, static_cast<long>(kWaitPollMs) * 1000000L};
      nanosleep(&step, nullptr);
    }
  }
}

uint32_t WaitForObject(WaitHandle handle, uint32_t milliseconds) {
  if (handle == nullptr) {
    errno = EBADF;
    return kWaitFailed;
  }
  if (handle->kind == kWaitableThread) return WaitForThreadState(handle->thread, milliseconds);
  return WaitForProcess(handle, milliseconds);
}

void ReleaseHandle(WaitHandle handle) {
  if (handle == nullptr) return;
  if (handle->kind == kWaitableThread) ReleaseThreadState(handle->thread);
  if (handle->pidFd >= 0) close(handle->pidFd);
  delete handle;
}
