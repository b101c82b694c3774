// Where a make may write, judged before anything is written.
#pragma once

#include <vector>

#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_plan.h"

using SourceDirectories = std::vector<DirectoryIdentity>;

// The identities of SOURCE and, with a plan, of every directory it holds.
SourceDirectories ReadSourceDirectories(const char* source, const MediumPlan* plan);

// True, after telling so, when --iso names a folder: no image can be written
// there, and xorriso would only tell so once the whole image is made.
bool IsImagePathRefused(const char* image);

// True, after telling why, when MEDIUM (or, for a new one, the folder it
// would be made in) is SOURCE or one of `directories`, or lies below one;
// when SOURCE lies inside MEDIUM; or when the image's folder lies inside
// either. `image` may be nullptr.
bool IsMediumPlaceRefused(const char* source, const char* medium, const char* image,
                          const SourceDirectories& directories);
