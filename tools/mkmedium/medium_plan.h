// What mkmedium learns of a source tree before it writes anything: every
// entry in walk order, each parent before what it holds, and what would not
// come back from a medium as it went in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/paths.h"

// "C:\Users\" + a user name of Windows' longest, 20 characters, +
// "\AppData\Local\Temp\VANTREL": the longest usual temporary target.
constexpr int kDefaultTargetLength = 56;
// The longest name the image's Joliet tree holds.
constexpr int kLongestImageName = 103;
// The launcher lists the medium from the folder it is started in: a disc's
// root "D:\" (3), or a medium unpacked into a user's download folder,
// "C:\Users\" + a user name of 20 characters + "\Downloads\" (40), with 40
// more for the folder a download unpacks into (a product, its version, its
// architecture, a " (2)").
constexpr int kDefaultSourceLength = 80;

struct MediumEntry {
  PathBuffer relative;  // below the source, '\'-separated, as listed
  int nameOffset;       // where the last component starts in `relative`
  bool directory;
  bool installer;  // a file the launcher starts or restores as "SETUP.EXE"
  bool special;    // a link, pipe or device: refused, and never opened
  uint32_t length;
};

struct MediumPlan {
  std::vector<MediumEntry> entries;
  uint64_t totalBytes;
  uint32_t files;
  int refusals;
};

struct PlanRules {
  int targetLength;
  int sourceLength;
  uint32_t codePage;
  bool forImage;
  bool quiet;  // notes are left out; refusals are always told
};

// Fills `plan` and tells every refusal on standard error. False when the
// source itself cannot be listed.
bool ScanSourceTree(const char* source, const PlanRules& rules, MediumPlan* plan);

// The reason Windows cannot hold this file or directory name, or nullptr.
const char* FindNameFault(const char* name);

// True when every byte of the name is plain ASCII.
bool HasOnlyAscii(const char* name);

// The name as Windows file systems compare it, letter case folded: two names
// with one key are one file there.
std::string FoldNameKey(const char* name);

// Path of the entry on the medium: the installer is kept as "setup.xex".
bool MakeStoredPath(PathBuffer& out, const char* medium, const MediumEntry& entry);

// The directory `path` names its last component in, either separator; "."
// for a bare name. False, with `out` empty, when it does not fit.
bool ReadDirectoryPart(PathBuffer& out, const char* path);

// Fills in the length a listing of `directory` left unread, from a look-up
// of the entry. False when the entry is gone by then: it is passed over, as
// if never listed.
bool CompleteListedEntry(const char* directory, DirEntry* entry);
