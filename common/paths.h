// Path buffers, the two path formats and the directory entry: the types that
// every folder of the launcher shares.
#pragma once

#include <cstddef>
#include <cstdint>

// A path is at most 259 characters and its terminator.
constexpr int kPathBufferSize = 260;
using PathBuffer = char[kPathBufferSize];

constexpr char kPathJoinFormat[] = "%s\\%s";
constexpr char kListPatternFormat[] = "%s\\*.*";

constexpr uint32_t kDirectoryAttribute = 0x10;
// Set on links (junctions, symbolic links): the walks never follow them.
constexpr uint32_t kReparsePointAttribute = 0x400;

// One result of a file search. `length` is the whole size, 2 GiB and more
// included.
// `lengthKnown` is false when a listing took the entry's kind from the
// directory alone: the length is then 0 and the read-only bit unset, and a
// look-up of the entry's path gives them.
struct DirEntry {
  char name[kPathBufferSize];
  uint32_t attributes;
  uint64_t length;
  bool lengthKnown;
};

bool IsDirectoryEntry(const DirEntry& entry);
bool IsLinkEntry(const DirEntry& entry);
bool IsDotEntry(const DirEntry& entry);

// Each returns false, leaving `out` an empty string, when the result does not
// fit: a path cut short would name another file.
bool CopyPath(PathBuffer& out, const char* path);
bool JoinPath(PathBuffer& out, const char* directory, const char* name);
bool MakeListPattern(PathBuffer& out, const char* directory);
bool ConcatenatePath(PathBuffer& out, const char* head, const char* tail);
bool FormatPath(PathBuffer& out, const char* format, const char* text);

// Fills `out`, of `size` bytes, with `format`, its first "%s" replaced by
// `first` and its second by `second`; always terminated. False when it did
// not fit, `out` then holding what did. The launcher's formats need no more,
// and formatted printing would bring a whole printf, some 20 KiB, into
// setup.exe.
bool FillFormat(char* out, std::size_t size, const char* format, const char* first,
                const char* second);

// Where the last name of `path` begins: after its last separator, '\' or
// '/' (a Linux path's), or at its start.
const char* FindLastName(const char* path);
// The directory `path` names its last name in: "." for a bare name, a root
// with its separator. False, with `out` empty, when it does not fit.
bool ReadDirectoryPart(PathBuffer& out, const char* path);

// Same length, and equal once ASCII A-Z are folded onto a-z; every other
// byte is compared unchanged.
bool NamesMatchIgnoringCase(const char* name, const char* constant);
