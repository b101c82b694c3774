// mkmedium: the vendor's tool that turns a tree into an install medium for
// the launcher, checks a medium against its tree, and images it.
#include <cstdio>
#include <cstring>
#include <string>

#include "payload/directory_listing.h"
#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_place.h"
#include "tools/mkmedium/medium_tasks.h"
#include "tools/mkmedium/mkmedium_options.h"
#include "tools/mkmedium/xorriso_run.h"

namespace {

enum class MediumState { kMissing, kEmpty, kInUse };

constexpr int kEntriesShown = 3;

// What a look at MEDIUM's entries found: how many, and the first few names.
struct MediumEntries {
  int count;
  std::string names;
};

void CountMediumEntry(void* taker, const DirEntry& entry, uint32_t /*lookUpError*/) {
  auto* seen = static_cast<MediumEntries*>(taker);
  if (seen->count < kEntriesShown)
    seen->names += (seen->count == 0 ? "" : ", ") + std::string(entry.name);
  ++seen->count;
}

// What stands at MEDIUM; for one in use, `held` says what it holds: its
// first few entries and how many more, for the vendor to see what is there.
MediumState InspectMedium(const char* medium, std::string* held) {
  DirEntry found;
  if (!LookUpPath(medium, &found)) return MediumState::kMissing;
  if (IsLinkEntry(found) || !IsDirectoryEntry(found)) {
    *held = IsLinkEntry(found) ? "it is a link" : "it is a file";
    return MediumState::kInUse;
  }
  MediumEntries seen = {0, {}};
  const ListingEnd end = WalkDirectoryListing(medium, false, CountMediumEntry, &seen);
  // Only a listing that came whole proves a folder empty.
  if (end.error != 0 || end.leftOut != 0) {
    *held = "it cannot be listed: " + ShowError(end.error != 0 ? end.error : kErrorInvalidName);
    return MediumState::kInUse;
  }
  if (seen.count == 0) return MediumState::kEmpty;
  *held = "it holds " + seen.names;
  if (seen.count > kEntriesShown)
    *held += " and " + ShowCount(static_cast<uint64_t>(seen.count - kEntriesShown), "more", "more");
  return MediumState::kInUse;
}

void RemoveMediumEntry(void* taker, const DirEntry& entry, uint32_t /*lookUpError*/) {
  const char* directory = *static_cast<const char* const*>(taker);
  PathBuffer path;
  if (!JoinPath(path, directory, entry.name)) return;
  // A link goes as itself: what it points to is not the run's.
  if (IsDirectoryEntry(entry) && IsLinkEntry(entry)) {
    RemoveDirectoryPath(path);
  } else if (IsDirectoryEntry(entry)) {
    RemoveTree(path);
  } else {
    DeleteFilePath(path);
  }
}

// Empties a directory and keeps it: its owner, mode and identity are the
// vendor's.
void EmptyDirectory(const char* directory) {
  (void)WalkDirectoryListing(directory, false, RemoveMediumEntry, &directory);
}

// Leaves the medium as it was before: gone when this run made it, else empty.
void TakeBackMedium(const char* medium, MediumState before) {
  if (before == MediumState::kEmpty) {
    EmptyDirectory(medium);
  } else {
    RemoveTree(medium);
  }
}

bool WriteMedium(const ToolOptions& options, const MediumPlan& plan, const char* launcher,
                 int64_t imageTime) {
  if (!StoreMedium(options.source, options.medium, plan, options.quiet)) return false;
  if (!CopyLauncher(launcher, options.medium)) {
    if (ReadStopRequest() == 0) {
      (void)std::fprintf(stderr, "mkmedium: cannot copy the launcher %s\n", launcher);
    }
    return false;
  }
  // A stop asked at the last moment takes the medium back all the same.
  if (options.image == nullptr) return ReadStopRequest() == 0;
  const ImageSettings settings = {options.image, options.label, imageTime};
  const ImageCheck check = {options.source, &plan, launcher, options.quiet};
  return WriteIsoImage(options.medium, settings, check);
}

// The launcher named, or the 32-bit Windows one that ships with the tool;
// false after telling that there is none. A named one that is no 32-bit
// Windows program is taken, with a note: a vendor may test on Linux with
// the native launcher, but should see that the medium will not run on
// Windows.
bool FindLauncher(const ToolOptions& options, PathBuffer& launcher) {
  if (options.launcher == nullptr) {
    std::string looked;
    if (FindDefaultLauncher(launcher, &looked)) return true;
    (void)std::fprintf(
        stderr,
        "mkmedium: no 32-bit Windows launcher found (looked for %s): build it "
        "with \"cmake --preset win32 && cmake --build --preset win32\", or name "
        "one with --launcher FILE\n",
        looked.empty() ? "none: this program's own path cannot be read" : looked.c_str());
    return false;
  }
  DirEntry found;
  if (!CopyPath(launcher, options.launcher) || !LookUpPath(launcher, &found) ||
      IsDirectoryEntry(found)) {
    (void)std::fprintf(stderr, "mkmedium: no launcher file %s\n", options.launcher);
    return false;
  }
  const LauncherKind kind = ReadLauncherKind(launcher);
  if (kind != LauncherKind::kWindows32 && !options.quiet) {
    (void)std::fprintf(stderr,
                       "mkmedium: note: the launcher %s is %s: the medium runs only where it "
                       "does; a medium for Windows needs the 32-bit setup.exe\n",
                       options.launcher, DescribeLauncherKind(kind));
  }
  return true;
}

// The make's scan of the source under the options' rules; the check runs
// it too, so that it never passes what the make refuses. Its refusals and
// notes are told. False, after telling why, when the code page or the
// source cannot be read.
bool PlanSource(const ToolOptions& options, bool forImage, MediumPlan* plan) {
  if (!IsCodePageAvailable(options.codePage)) {
    (void)std::fprintf(stderr, "mkmedium: this system cannot convert names to code page %u\n",
                       options.codePage);
    return false;
  }
  const PlanRules rules = {options.targetLength, options.sourceLength, options.codePage, forImage};
  if (!ScanSourceTree(options.source, rules, plan)) {
    (void)std::fprintf(stderr, "mkmedium: cannot list the source %s\n", options.source);
    return false;
  }
  TellPlanMessages(*plan, options.source, options.verbose, options.quiet);
  return true;
}

// SOURCE must be a folder: swapped operands name a MEDIUM that is not there.
bool IsSourceFound(const ToolOptions& options) {
  DirEntry found;
  const bool exists = LookUpPath(options.source, &found);
  if (exists && IsDirectoryEntry(found)) return true;
  const std::string why = exists ? std::string("it is a file.") : ShowLastError();
  (void)std::fprintf(stderr, "mkmedium: no source folder %s: %s SOURCE comes first: %s\n",
                     options.source, why.c_str(),
                     options.task == ToolTask::kCheck ? "mkmedium --check SOURCE MEDIUM|IMAGE.iso"
                                                      : "mkmedium SOURCE MEDIUM");
  return false;
}

int MakeMedium(const ToolOptions& options) {
  if (!IsSourceFound(options)) return kExitFailed;
  if (IsImagePathRefused(options.image) ||
      IsMediumPlaceRefused(options.source, options.medium, options.image,
                           ReadSourceDirectories(options.source, nullptr))) {
    return kExitRefused;
  }
  PathBuffer launcher;
  if (!FindLauncher(options, launcher)) return kExitFailed;
  std::string held;
  const MediumState before = InspectMedium(options.medium, &held);
  if (before == MediumState::kInUse) {
    (void)std::fprintf(stderr, "mkmedium: refused: %s must be a new or empty directory; %s\n",
                       options.medium, held.c_str());
    return kExitRefused;
  }
  if (options.image != nullptr && !FindXorriso("--iso")) return kExitFailed;
  MediumPlan plan = {{}, 0, 0, 0, {}, {}};
  if (!PlanSource(options, options.image != nullptr, &plan)) return kExitFailed;
  if (plan.refusals != 0) {
    (void)std::fprintf(stderr, "mkmedium: %s refused; nothing written to %s\n",
                       ShowCount(static_cast<uint64_t>(plan.refusals), "path", "paths").c_str(),
                       options.medium);
    return kExitRefused;
  }
  int64_t imageTime = 0;
  if (options.image != nullptr && !ReadImageTime(options.source, plan, &imageTime)) {
    return kExitFailed;
  }
  // Every folder of the source is known now: a mount of any of them is
  // caught before anything is written.
  const SourceDirectories directories = ReadSourceDirectories(options.source, &plan);
  if (IsMediumPlaceRefused(options.source, options.medium, options.image, directories)) {
    return kExitRefused;
  }
  TellLabelCut(options);
  if (before == MediumState::kMissing && !MakeDirectory(options.medium)) {
    (void)std::fprintf(stderr, "mkmedium: cannot create %s: %s\n", options.medium,
                       ShowLastError().c_str());
    return kExitFailed;
  }
  // The image's folder may lie in a MEDIUM that did not exist until now.
  if (IsMediumPlaceRefused(options.source, options.medium, options.image, directories)) {
    TakeBackMedium(options.medium, before);
    return kExitRefused;
  }
  if (!WriteMedium(options, plan, launcher, imageTime)) {
    TakeBackMedium(options.medium, before);
    (void)std::fprintf(stderr, "mkmedium: nothing kept in %s\n", options.medium);
    return kExitFailed;
  }
  if (!options.quiet) {
    (void)std::printf("mkmedium: stored %s, %s, in %s with the launcher %s%s%s\n",
                      ShowCount(plan.files, "file", "files").c_str(),
                      ShowSize(plan.totalBytes).c_str(), options.medium, launcher,
                      options.image != nullptr ? "; image " : "",
                      options.image != nullptr ? options.image : "");
  }
  return kExitDone;
}

// A source the make refuses fails the check as the make fails, with 2,
// whatever the medium holds: no medium restores it, so remaking one cannot
// help. The medium is compared all the same, for the whole list at once. A
// MEDIUM that is a file is an image, checked under the image's rules.
int CheckMediumTask(const ToolOptions& options) {
  if (!IsSourceFound(options)) return kExitFailed;
  DirEntry found;
  if (!LookUpPath(options.medium, &found)) {
    (void)std::fprintf(stderr, "mkmedium: no medium or image %s to check: %s\n", options.medium,
                       ShowLastError().c_str());
    return kExitFailed;
  }
  PathBuffer launcher;
  if (!FindLauncher(options, launcher)) return kExitFailed;
  const bool image = !IsDirectoryEntry(found);
  if (image && !FindXorriso("--check of an image")) return kExitFailed;
  MediumPlan plan = {{}, 0, 0, 0, {}, {}};
  if (!PlanSource(options, image, &plan)) return kExitFailed;
  int differences = 0;
  if (image) {
    PathBuffer scratch;
    if (!MakeScratchFolder(scratch)) return kExitFailed;
    const ImageCheck check = {options.source, &plan, launcher, options.quiet};
    differences = CheckIsoImage(check, options.medium, options.medium, scratch);
    RemoveScratchFolder(scratch);
  } else {
    differences = CheckMedium(options.source, plan, options.medium, launcher, options.quiet);
  }
  if (ReadStopRequest() != 0) return kExitFailed;
  const std::string kind = DescribeLauncherKind(ReadLauncherKind(launcher));
  if (differences != 0) {
    (void)std::printf(
        "mkmedium: %s: %s does not restore to %s with the launcher %s (%s)\n",
        ShowCount(static_cast<uint64_t>(differences), "difference", "differences").c_str(),
        options.medium, options.source, launcher, kind.c_str());
    if (options.launcher == nullptr) {
      (void)std::printf(
          "mkmedium: a medium made with another launcher (a signed one) is checked against it "
          "with --launcher FILE\n");
    }
  }
  if (plan.refusals != 0) {
    (void)std::fprintf(stderr, "mkmedium: %s refused: no medium restores %s\n",
                       ShowCount(static_cast<uint64_t>(plan.refusals), "path", "paths").c_str(),
                       options.source);
    return kExitRefused;
  }
  if (differences != 0) return kExitFailed;
  if (!options.quiet) {
    (void)std::printf(
        "mkmedium: %s restores to %s byte for byte; it carries the launcher %s (%s)\n",
        options.medium, options.source, launcher, kind.c_str());
  }
  return kExitDone;
}

// A run ended by a stop exits as the signal would have ended it, having
// taken back what it wrote and told what it removed.
int EndRun(int code) {
  const int signal = ReadStopRequest();
  if (signal == 0) return code;
  (void)std::fprintf(stderr, "mkmedium: stopped by %s\n", DescribeStopRequest(signal));
  return kExitStopped + signal;
}

int RunTool(int argc, char** argv) {
  ToolOptions options;
  if (!ParseToolOptions(argc, argv, &options)) return kExitUsage;
  switch (options.task) {
    case ToolTask::kHelp:
      PrintToolHelp();
      return kExitDone;
    case ToolTask::kVersion:
      PrintToolVersion();
      return kExitDone;
    case ToolTask::kCheck:
      return EndRun(CheckMediumTask(options));
    case ToolTask::kMake:
      break;
  }
  return EndRun(MakeMedium(options));
}

}  // namespace

// Names come out whole through a pipe too: Windows hands the output on in
// UTF-8, or as wide characters to a console.
int main(int argc, char** argv) {
  const ToolOutput output = StartToolOutput();
  WatchStopRequests();
  const int code = RunTool(argc, argv);
  FinishToolOutput(output);
  return code;
}
