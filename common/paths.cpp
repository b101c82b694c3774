#include "common/paths.h"

#include <cstring>

namespace {

bool KeepIfFits(PathBuffer& out, bool fits) {
  if (!fits) out[0] = '\0';
  return fits;
}

// Copies the pieces one after the other, the way formatted printing of
// "%s%s%s" would: the restore joins two paths for every file and the listing
// copies every name, and the printing cost them ten times the instructions.
bool CopyPieces(PathBuffer& out, const char* head, const char* middle, const char* tail) {
  const std::size_t headLength = std::strlen(head);
  const std::size_t middleLength = std::strlen(middle);
  const std::size_t tailLength = std::strlen(tail);
  if (headLength + middleLength + tailLength >= static_cast<std::size_t>(kPathBufferSize)) {
    out[0] = '\0';
    return false;
  }
  // Moves, not copies: a path may be copied onto itself.
  std::memmove(out, head, headLength);
  std::memmove(out + headLength, middle, middleLength);
  std::memmove(out + headLength + middleLength, tail, tailLength + 1);
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

bool CopyPath(PathBuffer& out, const char* path) { return CopyPieces(out, path, "", ""); }

// What kPathJoinFormat gives.
bool JoinPath(PathBuffer& out, const char* directory, const char* name) {
  return CopyPieces(out, directory, "\\", name);
}

bool MakeListPattern(PathBuffer& out, const char* directory) {
  return FormatPath(out, kListPatternFormat, directory);
}

bool ConcatenatePath(PathBuffer& out, const char* head, const char* tail) {
  return CopyPieces(out, head, tail, "");
}

bool FormatPath(PathBuffer& out, const char* format, const char* text) {
  PathBuffer formed;
  // Formed apart: `text` may be `out` itself.
  return KeepIfFits(
      out, FillFormat(formed, sizeof formed, format, text, nullptr) && CopyPath(out, formed));
}

bool FillFormat(char* out, std::size_t size, const char* format, const char* first,
                const char* second) {
  if (size == 0) return false;
  const char* pieces[] = {first, second};
  std::size_t used = 0;
  std::size_t filled = 0;
  for (const char* at = format; *at != '\0'; ++at) {
    const char* piece = nullptr;
    std::size_t length = 1;
    if (at[0] == '%' && at[1] == 's' && filled < 2) {
      piece = pieces[filled++];
      length = piece != nullptr ? std::strlen(piece) : 0;
      ++at;
    }
    if (used + length >= size) {
      std::memcpy(out + used, piece != nullptr ? piece : at, size - 1 - used);
      out[size - 1] = '\0';
      return false;
    }
    std::memcpy(out + used, piece != nullptr ? piece : at, length);
    used += length;
  }
  out[used] = '\0';
  return true;
}

bool NamesMatchIgnoringCase(const char* name, const char* constant) {
  std::size_t i = 0;
  for (; name[i] != '\0' && constant[i] != '\0'; ++i) {
    if (FoldAsciiCase(name[i]) != FoldAsciiCase(constant[i])) return false;
  }
  return name[i] == '\0' && constant[i] == '\0';
}

const char* FindLastName(const char* path) {
  const char* name = path;
  for (const char* c = path; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '/') name = c + 1;
  }
  return name;
}

bool ReadDirectoryPart(PathBuffer& out, const char* path) {
  const char* name = FindLastName(path);
  if (name == path) return CopyPath(out, ".");
  if (!CopyPath(out, path)) return false;
  // The separator before the name goes, but a root's own: "\" or "C:\"
  // ("C:" alone names the drive's current folder).
  const std::ptrdiff_t cut = name - path - 1;
  const bool root = cut == 0 || (cut == 2 && path[1] == ':');
  out[root ? cut + 1 : cut] = '\0';
  return true;
}
