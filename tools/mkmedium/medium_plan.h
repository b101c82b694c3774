// What mkmedium learns of a source tree before it writes anything: every
// entry in walk order, each parent before what it holds, and what would not
// come back from a medium as it went in.
#pragma once

#include <cstdint>
#include <vector>

#include "common/paths.h"

// "C:\Users\" + a user name of Windows' longest, 20 characters, +
// "\AppData\Local\Temp\VANTREL": the longest usual temporary target.
constexpr int kDefaultTargetLength = 56;
// The longest name the image's Joliet tree holds.
constexpr int kLongestImageName = 103;
// A medium is read from its root, "D:\".
constexpr int kMediumRootLength = 3;

struct MediumEntry {
  PathBuffer relative;  // below the source, '\'-separated, as listed
  int nameOffset;       // where the last component starts in `relative`
  bool directory;
  bool installer;  // a file the launcher starts or restores as "SETUP.EXE"
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
  bool forImage;
  bool quiet;  // notes are left out; refusals are always told
};

// Fills `plan` and tells every refusal on standard error. False when the
// source itself cannot be listed.
bool ScanSourceTree(const char* source, const PlanRules& rules, MediumPlan* plan);

// The reason Windows cannot hold this file or directory name, or nullptr.
const char* FindNameFault(const char* name);

// Path of the entry on the medium: the installer is kept as "setup.xex".
bool MakeStoredPath(PathBuffer& out, const char* medium, const MediumEntry& entry);

// The directory `path` names its last component in, either separator; "."
// for a bare name. False, with `out` empty, when it does not fit.
bool ReadDirectoryPart(PathBuffer& out, const char* path);

// Fills in the length a listing of `directory` left unread, from a look-up
// of the entry. False when the entry is gone by then: it is passed over, as
// if never listed.
bool CompleteListedEntry(const char* directory, DirEntry* entry);
