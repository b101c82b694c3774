// Running xorriso with its output kept in a file: standard output and error
// are pointed at the file for the child to inherit, then put back.
#include "tools/mkmedium/xorriso_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform_ops.h"

namespace {

constexpr int kScratchNameTries = 100;
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

bool RedirectStreams(const char* log, SavedStreams* saved) {
  *saved = {-1, -1};
  (void)std::fflush(stdout);
  (void)std::fflush(stderr);
  const int file = open(log, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (file < 0) return false;
  saved->output = dup(kOutputStream);
  saved->error = dup(kErrorStream);
  const bool moved = saved->output >= 0 && saved->error >= 0 && dup2(file, kOutputStream) >= 0 &&
                     dup2(file, kErrorStream) >= 0;
  (void)close(file);
  if (!moved) RestoreStreams(*saved);
  return moved;
}

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
  if (ReadTempPath(temp)) {
    for (int n = 0; n < kScratchNameTries; ++n) {
      char name[32];
      (void)std::snprintf(name, sizeof name, "mkmedium-%d", n);
      if (!ConcatenatePath(out, temp, name)) break;
      if (MakeDirectory(out)) return true;
    }
  }
  out[0] = '\0';
  (void)std::fprintf(stderr, "mkmedium: cannot make a scratch folder in the temporary folder\n");
  return false;
}

bool MakeScratchPath(PathBuffer& out, const char* scratch, const char* name) {
  PathBuffer separated;
  return ConcatenatePath(separated, "/", name) && ConcatenatePath(out, scratch, separated);
}

bool RunXorriso(const char* const* arguments, const char* log, const char* what) {
  SavedStreams saved;
  if (!RedirectStreams(log, &saved)) {
    (void)std::fprintf(stderr, "mkmedium: %s: cannot write xorriso's log %s\n", what, log);
    return false;
  }
  const int code = RunSearchedProgram(arguments);
  RestoreStreams(saved);
  if (code == 0) return true;
  if (code < 0) {
    (void)std::fprintf(stderr, "mkmedium: %s: cannot start xorriso\n", what);
  } else {
    (void)std::fprintf(stderr, "mkmedium: %s: xorriso failed (exit code %d):\n", what, code);
    TellLogTrouble(log);
  }
  return false;
}

bool MakeOperandPath(PathBuffer& out, const char* path) {
  return path[0] == '-' ? ConcatenatePath(out, "./", path) : CopyPath(out, path);
}
