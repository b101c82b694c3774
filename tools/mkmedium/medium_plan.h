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
  uint64_t length;
};

// The Windows ANSI code pages a medium's names may be held to.
constexpr uint32_t kAnsiCodePages[] = {874,  932,  936,  949,  950,  1250, 1251,
                                       1252, 1253, 1254, 1255, 1256, 1257, 1258};

// One refusal or note of the scan: the path below the source ('\'-separated,
// "" for the source itself) and what is wrong with it, or worth knowing.
struct PlanMessage {
  std::string path;
  std::string text;
};

struct MediumPlan {
  std::vector<MediumEntry> entries;
  uint64_t totalBytes;
  uint32_t files;
  int refusals;
  std::vector<PlanMessage> refused;
  std::vector<PlanMessage> notes;
};

struct PlanRules {
  int targetLength;
  int sourceLength;
  uint32_t codePage;
  bool forImage;
};

// Fills `plan`, its refusals and notes kept in it to be told together.
// False when the source itself cannot be listed.
bool ScanSourceTree(const char* source, const PlanRules& rules, MediumPlan* plan);

// Tells the plan's refusals, sorted, then its notes, on standard error: each
// note with `verbose`, else one line a kind with its count; none when
// `quiet`. SOURCE is named as given.
void TellPlanMessages(const MediumPlan& plan, const char* source, bool verbose, bool quiet);

// The reason Windows cannot hold this file or directory name, or nullptr.
const char* FindNameFault(const char* name);

// True when every byte of the name is plain ASCII.
bool HasOnlyAscii(const char* name);

// The name as Windows file systems compare it, letter case folded: two names
// with one key are one file there.
std::string FoldNameKey(const char* name);

// Path of the entry on the medium: the installer is kept as "setup.xex".
bool MakeStoredPath(PathBuffer& out, const char* medium, const MediumEntry& entry);

// A '\'-separated path below SOURCE or MEDIUM as this system shows paths.
std::string ShowRelativePath(const char* relative);

// An error code, or why the last platform call failed, in the system's own
// words, ending in a period.
std::string ShowError(uint32_t code);
std::string ShowLastError();

// A size as a person reads it: "900 bytes", "1.5 KiB", "116.3 MiB", "1.0 GiB".
std::string ShowSize(uint64_t bytes);

// "1 file", "2 files": `count` and the noun, singular for one.
std::string ShowCount(uint64_t count, const char* singular, const char* plural);
