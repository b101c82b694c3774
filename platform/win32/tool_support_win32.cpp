// What the vendor's tools need beyond the launcher's own operations.
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32/win32_handles.h"

namespace {

constexpr std::size_t kCommandLineSize = 32768;

struct CommandLine {
  char text[kCommandLineSize];
  std::size_t length;
};

bool AppendChar(CommandLine* line, char c) {
  if (line->length + 1 >= sizeof line->text) return false;
  line->text[line->length++] = c;
  line->text[line->length] = '\0';
  return true;
}

// Quotes one argument so that the C runtime's parser gives it back as it
// is: backslashes double only where a quote follows them.
bool AppendArgument(CommandLine* line, const char* argument) {
  if (line->length != 0 && !AppendChar(line, ' ')) return false;
  if (argument[0] != '\0' && std::strpbrk(argument, " \t\"") == nullptr) {
    for (const char* c = argument; *c != '\0'; ++c) {
      if (!AppendChar(line, *c)) return false;
    }
    return true;
  }
  if (!AppendChar(line, '"')) return false;
  std::size_t backslashes = 0;
  for (const char* c = argument;; ++c) {
    if (*c == '\\') {
      ++backslashes;
      continue;
    }
    const bool quoteFollows = *c == '"' || *c == '\0';
    const std::size_t count = quoteFollows ? backslashes * 2 : backslashes;
    for (std::size_t i = 0; i < count; ++i) {
      if (!AppendChar(line, '\\')) return false;
    }
    backslashes = 0;
    if (*c == '\0') break;
    if (*c == '"' && !AppendChar(line, '\\')) return false;
    if (!AppendChar(line, *c)) return false;
  }
  return AppendChar(line, '"');
}

}  // namespace

namespace {

constexpr DWORD kPollMs = 20;

// A job that ends what it holds when its last handle closes: the program
// and all it starts go with the tool, whatever ends it.
HANDLE MakeClosingJob() {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

// `job` is nullptr when the program could not be put in one (a job of an
// older system's that allows no other inside it): it alone is ended then.
int WaitForProgram(HANDLE job, HANDLE process, uint32_t limitSeconds) {
  const DWORD started = GetTickCount();
  for (;;) {
    const DWORD waited = WaitForSingleObject(process, kPollMs);
    if (waited == WAIT_OBJECT_0) {
      DWORD code = 0;
      return GetExitCodeProcess(process, &code) ? static_cast<int>(code) : kProgramNotStarted;
    }
    int outcome = waited == WAIT_TIMEOUT ? 0 : kProgramNotStarted;
    if (ReadStopRequest() != 0) {
      outcome = kProgramStopped;
    } else if (limitSeconds != 0 && (GetTickCount() - started) / 1000 >= limitSeconds) {
      outcome = kProgramOverran;
    }
    if (outcome != 0) {
      (void)(job != nullptr ? TerminateJobObject(job, 1) : TerminateProcess(process, 1));
      (void)WaitForSingleObject(process, INFINITE);
      return outcome;
    }
  }
}

}  // namespace

int RunSearchedProgram(const char* const* arguments, uint32_t limitSeconds) {
  CommandLine* line = static_cast<CommandLine*>(std::calloc(1, sizeof(CommandLine)));
  if (line == nullptr) return kProgramNotStarted;
  bool fits = true;
  for (const char* const* argument = arguments; *argument != nullptr && fits; ++argument) {
    fits = AppendArgument(line, *argument);
  }
  HANDLE job = fits ? MakeClosingJob() : nullptr;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created = {};
  // Suspended until it is in the job, so that nothing it starts escapes;
  // a group of its own, so that Ctrl+C reaches the tool alone.
  const BOOL started = job != nullptr && CreateProcessA(nullptr, line->text, nullptr, nullptr, TRUE,
                                                        CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP,
                                                        nullptr, nullptr, &startup, &created);
  std::free(line);
  if (!started) {
    if (job != nullptr) CloseHandle(job);
    return kProgramNotStarted;
  }
  int code = kProgramNotStarted;
  const bool held = AssignProcessToJobObject(job, created.hProcess) != 0;
  if (ResumeThread(created.hThread) != ~DWORD{0}) {
    code = WaitForProgram(held ? job : nullptr, created.hProcess, limitSeconds);
  } else {
    (void)TerminateProcess(created.hProcess, 1);
  }
  CloseHandle(created.hThread);
  CloseHandle(created.hProcess);
  CloseHandle(job);
  return code;
}

bool IsErrorStreamTerminal() { return _isatty(_fileno(stderr)) != 0; }

bool ReadProgramPath(PathBuffer& out) {
  const DWORD length = GetModuleFileNameA(nullptr, out, sizeof out);
  if (length == 0 || length >= sizeof out) {
    out[0] = '\0';
    return false;
  }
  return true;
}

// Windows starts any program file; nothing to mark.
bool MarkFileRunnable(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool ReplaceFilePath(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

char ReadHostSeparator() { return '\\'; }

// No mkdtemp here: a name from the clock's finest counter, the process and a
// try count, made with CreateDirectoryA, which fails for a name taken.
bool MakeUniqueDirectory(PathBuffer& out, const char* parent, const char* prefix) {
  constexpr int kTries = 1000;
  LARGE_INTEGER counter = {};
  for (int n = 0; n < kTries; ++n) {
    (void)QueryPerformanceCounter(&counter);
    const auto unforeseen =
        static_cast<unsigned long>((static_cast<uint64_t>(counter.QuadPart) * 2654435761u) ^
                                   GetCurrentProcessId() ^ (static_cast<unsigned long>(n) << 20));
    char name[kPathBufferSize];
    const int length = std::snprintf(name, sizeof name, "%s%s%08lx", parent, prefix, unforeseen);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof out) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      break;
    }
    std::memcpy(out, name, static_cast<std::size_t>(length) + 1);
    if (CreateDirectoryA(out, nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  out[0] = '\0';
  return false;
}
