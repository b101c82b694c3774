// The walk that plans a medium and refuses, before anything is written, what
// the launcher would not give back as it went in.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "payload/directory_listing.h"
#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_plan.h"

namespace {

// The launcher joins "target\relative" into 259 characters at most.
constexpr int kLongestLauncherPath = kPathBufferSize - 1;
// It lists each medium directory with "\*.*" after its path.
constexpr int kListPatternTail = 4;

// A folded name and how to show it, for finding names that differ only in
// letter case.
using CaseKey = std::pair<std::string, std::string>;

struct ScanState {
  const char* source;
  PlanRules rules;
  MediumPlan* plan;
};

void Refuse(ScanState* state, const char* relative, const std::string& reason) {
  state->plan->refused.push_back({relative, reason});
  ++state->plan->refusals;
}

void Note(const ScanState& state, const char* relative, const char* text) {
  state.plan->notes.push_back({relative, text});
}

// The code pages that would hold a name the chosen one cannot, for the
// refusal to name: "; --code-page 932 or 936 hold it".
std::string NameHoldingCodePages(const char* name) {
  std::string pages;
  int count = 0;
  for (const uint32_t page : kAnsiCodePages) {
    if (!IsCodePageAvailable(page) || !IsNameInCodePage(name, page)) continue;
    pages += (count == 0 ? "" : " or ") + std::to_string(page);
    ++count;
  }
  if (count == 0) return "; no Windows code page holds it: rename it in plain ASCII";
  return "; --code-page " + pages + (count == 1 ? " holds it" : " hold it");
}

// Why the scan could not read something, and what helps: a user's files
// are readable by that user, and by root.
std::string ShowUnreadable(uint32_t error) {
  return ShowError(error) + " Run mkmedium as a user who can read it";
}

void CheckFileOpens(ScanState* state, const MediumEntry& entry) {
  PathBuffer path;
  if (!JoinPath(path, state->source, entry.relative)) return;  // refused as too long
  FileHandle file = OpenFileForRead(path);
  if (file == nullptr) {
    Refuse(state, entry.relative, "cannot be opened: " + ShowUnreadable(ReadLastError()));
    return;
  }
  CloseFile(file);
}

void ReportCaseCollisions(ScanState* state, const char* directory, std::vector<CaseKey> keys) {
  std::sort(keys.begin(), keys.end());
  for (std::size_t i = 1; i < keys.size(); ++i) {
    if (keys[i].first != keys[i - 1].first) continue;
    char reason[2 * kPathBufferSize + 64];
    (void)std::snprintf(reason, sizeof reason, "\"%s\" and \"%s\" differ only in letter case",
                        keys[i - 1].second.c_str(), keys[i].second.c_str());
    Refuse(state, directory, reason);
  }
}

// The launcher joins "target\relative" and "source\relative", and lists a
// source directory with "\*.*" after its path; each must fit its paths.
void CheckPathFits(ScanState* state, const MediumEntry& entry) {
  const int length = static_cast<int>(std::strlen(entry.relative));
  const PlanRules& rules = state->rules;
  char reason[128];
  const int fromSource = rules.sourceLength + 1 + length + (entry.directory ? kListPatternTail : 0);
  if (rules.targetLength + 1 + length > kLongestLauncherPath) {
    (void)std::snprintf(reason, sizeof reason,
                        "%d characters under a target of %d: longer than the launcher's %d",
                        rules.targetLength + 1 + length, rules.targetLength, kLongestLauncherPath);
    Refuse(state, entry.relative, reason);
  } else if (fromSource > kLongestLauncherPath) {
    (void)std::snprintf(reason, sizeof reason,
                        "%d characters %s a source folder of %d: longer than the launcher's %d",
                        fromSource, entry.directory ? "to list it from" : "from",
                        rules.sourceLength, kLongestLauncherPath);
    Refuse(state, entry.relative, reason);
  }
}

void CheckEntry(ScanState* state, const MediumEntry& entry, const DirEntry& listed) {
  const char* name = entry.relative + entry.nameOffset;
  if (const char* fault = FindNameFault(name)) Refuse(state, entry.relative, fault);
  if (IsLinkEntry(listed)) {
    Refuse(state, entry.relative, "a link: a medium holds only real files and directories");
  }
  if (!entry.directory && (listed.attributes & kDeviceAttribute) != 0) {
    Refuse(state, entry.relative, "not a regular file: a pipe, a device or a socket");
  }
  if (!entry.directory && NamesMatchIgnoringCase(name, kStoredInstallerFileName)) {
    Refuse(state, entry.relative, "the launcher would restore it as \"SETUP.EXE\"");
  }
  if (state->rules.forImage && std::strlen(name) > static_cast<std::size_t>(kLongestImageName)) {
    Refuse(state, entry.relative, "longer than the 103 characters of an image's names");
  }
  // Windows takes ';' in a name; an image's Joliet names hold it as '_'.
  if (state->rules.forImage && std::strchr(name, ';') != nullptr) {
    Refuse(state, entry.relative, "a ';' in the name: an image's Joliet names cannot hold it");
  }
  CheckPathFits(state, entry);
  if (!HasOnlyAscii(name)) {
    char text[96];
    const bool held = IsNameInCodePage(name, state->rules.codePage);
    (void)std::snprintf(text, sizeof text,
                        held ? "not plain ASCII: it comes back where the system's code page "
                               "holds it, as %u does"
                             : "code page %u cannot hold this name: the launcher would lose it",
                        state->rules.codePage);
    if (held) {
      Note(*state, entry.relative, text);
    } else {
      Refuse(state, entry.relative, text + NameHoldingCodePages(name));
    }
  }
  if (entry.installer && std::strcmp(name, kInstallerFileName) != 0) {
    Note(*state, entry.relative, "comes back named \"SETUP.EXE\"");
  }
}

bool ScanDirectory(ScanState* state, const char* relative);

// Appends one listed entry to the plan and descends into a directory.
void PlanEntry(ScanState* state, const char* relative, const DirEntry& listed,
               std::vector<CaseKey>* restoredKeys, std::vector<CaseKey>* storedKeys) {
  MediumEntry entry = {};
  const bool fits = relative[0] == '\0' ? CopyPath(entry.relative, listed.name)
                                        : JoinPath(entry.relative, relative, listed.name);
  if (!fits) {
    char shown[2 * kPathBufferSize];
    (void)std::snprintf(shown, sizeof shown, "%s\\%s", relative, listed.name);
    Refuse(state, shown, "longer than any path the launcher holds");
    return;
  }
  entry.nameOffset = static_cast<int>(std::strlen(entry.relative) - std::strlen(listed.name));
  entry.directory = IsDirectoryEntry(listed);
  entry.installer = !entry.directory && NamesMatchIgnoringCase(listed.name, kInstallerFileName);
  entry.special =
      IsLinkEntry(listed) || (!entry.directory && (listed.attributes & kDeviceAttribute) != 0);
  entry.length = entry.directory ? 0 : listed.length;
  CheckEntry(state, entry, listed);
  restoredKeys->emplace_back(FoldNameKey(listed.name), listed.name);
  // On the medium only the installer changes its name, and the launcher
  // joins the root: other collisions are the restored names' already.
  const char* stored = entry.installer ? kStoredInstallerFileName : listed.name;
  if (NamesMatchIgnoringCase(stored, kStoredInstallerFileName) ||
      NamesMatchIgnoringCase(stored, kLauncherFileName)) {
    storedKeys->emplace_back(FoldNameKey(stored),
                             entry.installer ? std::string(listed.name) + " (kept as setup.xex)"
                                             : std::string(listed.name));
  }
  state->plan->entries.push_back(entry);
  if (entry.directory) {
    if (!IsLinkEntry(listed)) (void)ScanDirectory(state, entry.relative);
  } else {
    // Proven readable now, so that the store never meets a file it cannot open.
    if (!entry.special) CheckFileOpens(state, entry);
    ++state->plan->files;
    state->plan->totalBytes += entry.length;
  }
}

// One directory of the scan, as its listing hands on the entries.
struct ScannedDirectory {
  ScanState* state;
  const char* relative;
  std::vector<CaseKey>* restoredKeys;
  std::vector<CaseKey>* storedKeys;
};

void PlanListedEntry(void* taker, const DirEntry& listed, uint32_t lookUpError) {
  const auto* scanned = static_cast<const ScannedDirectory*>(taker);
  if (lookUpError == 0) {
    PlanEntry(scanned->state, scanned->relative, listed, scanned->restoredKeys,
              scanned->storedKeys);
    return;
  }
  char shown[2 * kPathBufferSize];
  (void)std::snprintf(shown, sizeof shown, scanned->relative[0] == '\0' ? "%s%s" : "%s\\%s",
                      scanned->relative, listed.name);
  Refuse(scanned->state, shown, "cannot be looked up: " + ShowUnreadable(lookUpError));
}

// False when the directory cannot be listed at all: the source's root is
// then no source, told by the caller.
bool ListDirectory(ScanState* state, const char* relative, std::vector<CaseKey>* restoredKeys,
                   std::vector<CaseKey>* storedKeys) {
  PathBuffer directory;
  const bool fits = relative[0] == '\0' ? CopyPath(directory, state->source)
                                        : JoinPath(directory, state->source, relative);
  ScannedDirectory scanned = {state, relative, restoredKeys, storedKeys};
  const ListingEnd end = fits ? WalkDirectoryListing(directory, true, PlanListedEntry, &scanned)
                              : ListingEnd{false, kErrorFilenameTooLong, 0};
  if (!end.opened) {
    if (relative[0] != '\0')
      Refuse(state, relative, "cannot be listed: " + ShowUnreadable(end.error));
    return false;
  }
  if (end.error != 0) {
    Refuse(state, relative, "its listing broke off: " + ShowUnreadable(end.error));
  }
  if (end.leftOut != 0) {
    char reason[96];
    (void)std::snprintf(reason, sizeof reason,
                        "%d name%s holding a backslash or too long for any launcher path",
                        end.leftOut, end.leftOut == 1 ? "" : "s");
    Refuse(state, relative, reason);
  }
  return true;
}

// Lists one directory into the plan, below it too, and refuses the names in
// it that differ only in case, and what cannot be read. False as ListDirectory.
bool ScanDirectory(ScanState* state, const char* relative) {
  std::vector<CaseKey> restoredKeys;
  std::vector<CaseKey> storedKeys;
  if (relative[0] == '\0') {
    storedKeys.emplace_back(FoldNameKey(kLauncherFileName), "the launcher setup.exe");
  }
  if (!ListDirectory(state, relative, &restoredKeys, &storedKeys)) return false;
  ReportCaseCollisions(state, relative, std::move(restoredKeys));
  ReportCaseCollisions(state, relative, std::move(storedKeys));
  return true;
}

}  // namespace

bool ScanSourceTree(const char* source, const PlanRules& rules, MediumPlan* plan) {
  ScanState state = {source, rules, plan};
  if (!ScanDirectory(&state, "")) return false;
  const bool hasInstaller = std::any_of(
      plan->entries.begin(), plan->entries.end(),
      [](const MediumEntry& entry) { return entry.installer && entry.nameOffset == 0; });
  if (!hasInstaller) {
    Refuse(&state, "",
           "no \"SETUP.EXE\" at the root for the launcher to start: put your installer there under "
           "that name");
  }
  return true;
}

namespace {

// A plan path as the vendor spelled the source: "" is SOURCE itself.
std::string ShowPlanPath(const std::string& path, const char* source) {
  return path.empty() ? std::string(source) : ShowRelativePath(path.c_str());
}

}  // namespace

void TellPlanMessages(const MediumPlan& plan, const char* source, bool verbose, bool quiet) {
  std::vector<std::pair<std::string, std::string>> refused;
  for (const PlanMessage& message : plan.refused) {
    refused.emplace_back(ShowPlanPath(message.path, source), message.text);
  }
  std::sort(refused.begin(), refused.end());
  for (const auto& message : refused) {
    (void)std::fprintf(stderr, "mkmedium: refused: %s: %s\n", message.first.c_str(),
                       message.second.c_str());
  }
  if (quiet || plan.notes.empty()) return;
  if (verbose) {
    for (const PlanMessage& message : plan.notes) {
      (void)std::fprintf(stderr, "mkmedium: note: %s: %s\n",
                         ShowPlanPath(message.path, source).c_str(), message.text.c_str());
    }
    return;
  }
  // One line a kind of note, with its count and the first path.
  std::vector<std::pair<std::string, std::pair<int, std::string>>> kinds;
  for (const PlanMessage& message : plan.notes) {
    auto kind = std::find_if(kinds.begin(), kinds.end(),
                             [&](const auto& known) { return known.first == message.text; });
    if (kind == kinds.end()) {
      kinds.push_back({message.text, {1, ShowPlanPath(message.path, source)}});
    } else {
      ++kind->second.first;
    }
  }
  for (const auto& kind : kinds) {
    if (kind.second.first == 1) {
      (void)std::fprintf(stderr, "mkmedium: note: %s: %s\n", kind.second.second.c_str(),
                         kind.first.c_str());
    } else {
      (void)std::fprintf(stderr,
                         "mkmedium: note: %d names, %s and others: %s (--verbose lists them)\n",
                         kind.second.first, kind.second.second.c_str(), kind.first.c_str());
    }
  }
}
