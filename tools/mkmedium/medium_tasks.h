// The three things mkmedium does with a planned medium: write it, image it,
// and prove that it restores to its source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/mkmedium/medium_plan.h"

// Writes every planned entry into `medium` (an existing, empty directory),
// files in stored form. False, after telling why, at the first failure.
bool StoreMedium(const char* source, const char* medium, const MediumPlan& plan, bool quiet);

// Copies the launcher unchanged to the medium's root as "setup.exe".
bool CopyLauncher(const char* launcher, const char* medium);

enum class LauncherKind { kWindows32, kWindows64, kLinux, kOther, kUnreadable };

// The program header's first bytes that tell its kind.
constexpr std::size_t kProgramHeaderBytes = 4096;

// What kind of program a file is from its first `count` bytes.
LauncherKind ReadHeaderKind(const unsigned char* header, std::size_t count);

// What kind of program the file at `path` is, from its header.
LauncherKind ReadLauncherKind(const char* path);

// The kind in words: "a 32-bit Windows program", ...
const char* DescribeLauncherKind(LauncherKind kind);

// The 32-bit Windows launcher that ships with this tool: setup.exe beside
// it, in ../share/vantrel/ (installed), or in ../win32/ (a Linux build
// folder beside the Windows one). False when there is none; `looked` lists
// the places, for the message.
bool FindDefaultLauncher(PathBuffer& out, std::string* looked);

struct ImageSettings {
  const char* image;
  const char* label;
  int64_t time;  // every date in the image, in seconds since 1970
};

// The time every date of an image is set to: SOURCE_DATE_EPOCH when set,
// else the newest modification time below `source`. False, after telling
// why, for a SOURCE_DATE_EPOCH that is no count of seconds.
bool ReadImageTime(const char* source, const MediumPlan& plan, int64_t* seconds);

// What an image is checked against: the source as the make's scan planned
// it, and the launcher file.
struct ImageCheck {
  const char* source;
  const MediumPlan* plan;
  const char* launcher;
  bool quiet;  // no progress bar
};

// An ISO 9660 image of the medium with Rock Ridge and Joliet names, through
// xorriso: the same bytes for the same medium, label and time. It is written
// under a new name beside the image and takes that place only once whole
// and checked: a failure leaves whatever stood there as it was.
bool WriteIsoImage(const char* medium, const ImageSettings& settings, const ImageCheck& check);

// Checks the image at `image` through its Joliet and its Rock Ridge tree,
// each listed by xorriso into `scratch` and its files read from the image,
// telling every difference as CheckMedium does and each tree's count, naming
// the image `shown`. Returns how many differences there are; an image
// xorriso cannot read is one for each tree.
int CheckIsoImage(const ImageCheck& check, const char* image, const char* shown,
                  const char* scratch);

// Tells every way the medium's restore on Windows would differ from
// `source` as the make's scan planned it, and its root's launcher from the
// file `launcher`, on standard output; every entry it cannot compare is one
// of them. Returns how many there are.
int CheckMedium(const char* source, const MediumPlan& plan, const char* medium,
                const char* launcher, bool quiet);
