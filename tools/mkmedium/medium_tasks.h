// The three things mkmedium does with a planned medium: write it, image it,
// and prove that it restores to its source.
#pragma once

#include "tools/mkmedium/medium_plan.h"

// Writes every planned entry into `medium` (an existing, empty directory),
// files in stored form. False, after telling why, at the first failure.
bool StoreMedium(const char* source, const char* medium, const MediumPlan& plan, bool quiet);

// Copies the launcher unchanged to the medium's root as "setup.exe".
bool CopyLauncher(const char* launcher, const char* medium);

// The launcher built beside this tool: "setup.exe", or "setup" on Linux.
bool FindLauncherBesideTool(PathBuffer& out);

// An ISO 9660 image of the medium with Joliet names, through xorriso. It is
// written under a new name beside `image` and takes that place only once
// whole: a failure leaves whatever stood at `image` as it was.
bool WriteIsoImage(const char* medium, const char* image, const char* label);

// Tells every way the medium's restore on Windows would differ from
// `source` as the make's scan planned it, and its root's launcher from the
// file `launcher`, on standard output; every entry it cannot compare is one
// of them. Returns how many there are.
int CheckMedium(const char* source, const MediumPlan& plan, const char* medium,
                const char* launcher);
