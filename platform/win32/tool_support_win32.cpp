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

int RunSearchedProgram(const char* const* arguments) {
  CommandLine* line = static_cast<CommandLine*>(std::calloc(1, sizeof(CommandLine)));
  if (line == nullptr) return -1;
  bool fits = true;
  for (const char* const* argument = arguments; *argument != nullptr && fits; ++argument) {
    fits = AppendArgument(line, *argument);
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION created = {};
  const BOOL started = fits && CreateProcessA(nullptr, line->text, nullptr, nullptr, TRUE, 0,
                                              nullptr, nullptr, &startup, &created);
  std::free(line);
  if (!started) return -1;
  CloseHandle(created.hThread);
  DWORD code = 0;
  const bool ended = WaitForSingleObject(created.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(created.hProcess, &code);
  CloseHandle(created.hProcess);
  return ended ? static_cast<int>(code) : -1;
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
