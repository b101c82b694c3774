#include "common/paths.h"

#include <cstdio>
#include <cstring>

namespace {

bool KeepIfFits(PathBuffer& out, int written) {
  if (written < 0 || written >= kPathBufferSize) {
    out[0] = '\0';
    return false;
  }
  return true;
}

char FoldAsciiCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsDirectoryEntry(const DirEntry& entry) {
  return (entry.attributes & kDirectoryAttribute) != 0;
}

bool IsLinkEntry(const DirEntry& entry) { return (entry.attributes & kReparsePointAttribute) != 0; }

bool IsDotEntry(const DirEntry& entry) {
  return std::strcmp(entry.name, ".") == 0 || std::strcmp(entry.name, "..") == 0;
}

bool CopyPath(PathBuffer& out, const char* path) {
  return KeepIfFits(out, std::snprintf(out, kPathBufferSize, "%s", path));
}

bool JoinPath(PathBuffer& out, const char* directory, const char* name) {
  return KeepIfFits(out, std::snprintf(out, kPathBufferSize, kPathJoinFormat, directory, name));
}

bool MakeListPattern(PathBuffer& out, const char* directory) {
  return KeepIfFits(out, std::snprintf(out, kPathBufferSize, kListPatternFormat, directory));
}

bool ConcatenatePath(PathBuffer& out, const char* head, const char* tail) {
  return KeepIfFits(out, std::snprintf(out, kPathBufferSize, "%s%s", head, tail));
}

bool FormatPath(PathBuffer& out, const char* format, const char* text) {
  // The formats are the launcher's own constants, each with one %s.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  return KeepIfFits(out, std::snprintf(out, kPathBufferSize, format, text));
#pragma GCC diagnostic pop
}

bool NamesMatchIgnoringCase(const char* name, const char* constant) {
  std::size_t i = 0;
  for (; name[i] != '\0' && constant[i] != '\0'; ++i) {
    if (FoldAsciiCase(name[i]) != FoldAsciiCase(constant[i])) return false;
  }
  return name[i] == '\0' && constant[i] == '\0';
}
