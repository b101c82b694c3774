// Running xorriso with its output kept in files: standard output and error
// are pointed at them for the child to inherit, then put back.
#include "tools/mkmedium/xorriso_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_plan.h"

namespace {

constexpr int kOutputStream = 1;
constexpr int kErrorStream = 2;

struct SavedStreams {
  int output;
  int error;
};

void RestoreStreams(const SavedStreams& saved) {
  if (saved.output >= 0) {
    (void)dup2(saved.output, kOutputStream);
    (void)close(saved.output);
  }
  if (saved.error >= 0) {
    (void)dup2(saved.error, kErrorStream);
    (void)close(saved.error);
  }
}

bool RedirectStreams(const char* output, const char* log, SavedStreams* saved) {
  *saved = {-1, -1};
  (void)std::fflush(stdout);
  (void)std::fflush(stderr);
  const int logFile = open(log, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const bool apart = std::strcmp(output, log) != 0;
  const int outputFile = apart ? open(output, O_WRONLY | O_CREAT | O_TRUNC, 0600) : logFile;
  saved->output = dup(kOutputStream);
  saved->error = dup(kErrorStream);
  const bool moved = logFile >= 0 && outputFile >= 0 && saved->output >= 0 && saved->error >= 0 &&
                     dup2(outputFile, kOutputStream) >= 0 && dup2(logFile, kErrorStream) >= 0;
  if (logFile >= 0) (void)close(logFile);
  if (apart && outputFile >= 0) (void)close(outputFile);
  if (!moved) RestoreStreams(*saved);
  return moved;
}

// Telling its version takes xorriso a moment, unless it is lost.
constexpr uint32_t kVersionSeconds = 30;

constexpr std::size_t kLongestLogTold = std::size_t{64} << 10;
// xorriso's own words for what went wrong; its notes and progress say nothing
// of it.
constexpr const char* kTroubleWords[] = {
    "WARNING :", "SORRY :", "FAILURE :", "MISHAP :", "FATAL :", "ABORT :"};

bool IsTroubleLine(const std::string& line) {
  for (const char* word : kTroubleWords) {
    if (line.find(word) != std::string::npos) return true;
  }
  return false;
}

// Tells the log's lines of trouble, or all of it when none says so.
void TellLogTrouble(const char* log) {
  FileHandle file = OpenFileForRead(log);
  if (file == nullptr) return;
  std::vector<char> text(kLongestLogTold);
  const int64_t count = ReadFileBytes(file, text.data(), text.size());
  CloseFile(file);
  if (count <= 0) return;
  std::vector<std::string> lines;
  std::string line;
  for (int64_t i = 0; i < count; ++i) {
    if (text[static_cast<std::size_t>(i)] != '\n') {
      line += text[static_cast<std::size_t>(i)];
    } else if (IsTroubleLine(line)) {
      lines.push_back(line);
      line.clear();
    } else {
      line.clear();
    }
  }
  if (lines.empty()) {
    (void)std::fwrite(text.data(), 1, static_cast<std::size_t>(count), stderr);
    return;
  }
  for (const std::string& told : lines) (void)std::fprintf(stderr, "  %s\n", told.c_str());
}

}  // namespace

bool MakeScratchFolder(PathBuffer& out) {
  PathBuffer temp;
  if (ReadTempPath(temp) && MakeUniqueDirectory(out, temp, "mkmedium-")) return true;
  (void)std::fprintf(stderr,
                     "mkmedium: cannot make a scratch folder in the temporary folder %s: %s "
                     "Set TMPDIR to a folder of your own\n",
                     temp, ShowLastError().c_str());
  out[0] = '\0';
  return false;
}

void RemoveScratchFolder(const char* scratch) {
  RemoveTree(scratch);
  if (ReadStopRequest() != 0) {
    (void)std::fprintf(stderr, "mkmedium: removed the scratch folder %s\n", scratch);
  }
}

bool MakeScratchPath(PathBuffer& out, const char* scratch, const char* name) {
  PathBuffer separated;
  return ConcatenatePath(separated, "/", name) && ConcatenatePath(out, scratch, separated);
}

bool FindXorriso(const char* what) {
  const char* const arguments[] = {"xorriso", "-no_rc", "-version", nullptr};
  PathBuffer scratch;
  PathBuffer log;
  if (!MakeScratchFolder(scratch)) return false;
  int code = -1;
  SavedStreams saved;
  if (MakeScratchPath(log, scratch, "version.txt") && RedirectStreams(log, log, &saved)) {
    code = RunSearchedProgram(arguments, kVersionSeconds);
    RestoreStreams(saved);
  }
  RemoveScratchFolder(scratch);
  if (code >= 0 || code == kProgramStopped) return code >= 0;
  (void)std::fprintf(stderr,
                     "mkmedium: %s needs xorriso, which cannot be started: install it (Debian "
                     "and Ubuntu: apt-get install xorriso) or put it on PATH; on Windows, make "
                     "and check images on a Linux build host\n",
                     what);
  return false;
}

namespace {

// What RunXorriso tells once xorriso has ended, from its exit code.
bool TellXorrisoEnd(int code, const char* log, const char* what, uint32_t limitSeconds) {
  if (code == 0) return true;
  if (code == kProgramStopped) {
    (void)std::fprintf(stderr, "mkmedium: %s: xorriso stopped, and all it started\n", what);
  } else if (code == kProgramOverran) {
    (void)std::fprintf(stderr,
                       "mkmedium: %s: xorriso stopped after %u seconds, more than this takes "
                       "it; it is lost in what it reads\n",
                       what, limitSeconds);
  } else if (code < 0) {
    (void)std::fprintf(stderr, "mkmedium: %s: cannot start xorriso\n", what);
  } else {
    (void)std::fprintf(stderr, "mkmedium: %s: xorriso failed (exit code %d):\n", what, code);
    TellLogTrouble(log);
  }
  return false;
}

constexpr uint32_t kWatchMs = 200;

struct XorrisoJob {
  const char* const* arguments;
  uint32_t limitSeconds;
  int code;
};

uint32_t PLATFORM_CALL RunXorrisoJob(void* parameter) {
  auto* job = static_cast<XorrisoJob*>(parameter);
  job->code = RunSearchedProgram(job->arguments, job->limitSeconds);
  return 0;
}

}  // namespace

bool RunXorriso(const char* const* arguments, const char* output, const char* log, const char* what,
                uint32_t limitSeconds) {
  SavedStreams saved;
  if (!RedirectStreams(output, log, &saved)) {
    (void)std::fprintf(stderr, "mkmedium: %s: cannot write xorriso's log %s\n", what, log);
    return false;
  }
  const int code = RunSearchedProgram(arguments, limitSeconds);
  RestoreStreams(saved);
  return TellXorrisoEnd(code, log, what, limitSeconds);
}

bool RunXorrisoWatched(const char* const* arguments, const char* log, const char* what,
                       uint32_t limitSeconds, XorrisoWatch watch, void* context) {
  SavedStreams saved;
  if (!RedirectStreams(log, log, &saved)) {
    (void)std::fprintf(stderr, "mkmedium: %s: cannot write xorriso's log %s\n", what, log);
    return false;
  }
  // The terminal's own standard error, kept while xorriso has the process's.
  const int terminalStream = dup(saved.error);
  std::FILE* terminal = terminalStream >= 0 ? fdopen(terminalStream, "w") : nullptr;
  if (terminal == nullptr && terminalStream >= 0) (void)close(terminalStream);
  XorrisoJob job = {arguments, limitSeconds, kProgramNotStarted};
  uint32_t threadId = 0;
  WaitHandle thread = StartThread(nullptr, RunXorrisoJob, &job, &threadId);
  if (thread == nullptr) {
    (void)RunXorrisoJob(&job);
  } else {
    while (WaitForObject(thread, kWatchMs) == kWaitTimedOut) {
      if (terminal != nullptr) watch(context, terminal);
    }
    ReleaseHandle(thread);
  }
  if (terminal != nullptr) (void)std::fclose(terminal);
  RestoreStreams(saved);
  watch(context, stderr);
  return TellXorrisoEnd(job.code, log, what, limitSeconds);
}

bool MakeOperandPath(PathBuffer& out, const char* path) {
  return path[0] == '-' ? ConcatenatePath(out, "./", path) : CopyPath(out, path);
}

bool MakeDrivePath(PathBuffer& out, const char* path) {
  return ConcatenatePath(out, "stdio:", path);
}
