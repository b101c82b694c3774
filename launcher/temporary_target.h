// Taking the temporary copy: made anew, or an earlier run's cleared, or set
// aside when it cannot be, so that no leftover ever blocks a run for good.
#pragma once

#include "platform/platform_ops.h"

// Beside the copy, for earlier copies that could not be cleared: the
// copy's name with "-1" to "-8".
constexpr int kAsideNames = 8;

// The copy at `directory`, held (its hold is the run's lock) and empty, or
// nullptr after the person has been told why not. A copy that another run
// or program holds is left exactly as it is.
HeldDirectory TakeTemporaryCopy(const char* directory);

// Removes what it can of the copies earlier runs set aside beside it.
void ClearAsideCopies(const char* directory);
