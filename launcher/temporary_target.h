// Taking the temporary copy: made anew, or an earlier run's cleared, or set
// aside when it cannot be, so that no leftover ever blocks a run for good.
#pragma once

#include "platform/platform_ops.h"

// The copy at `directory`, held (its hold is the run's lock) and empty, or
// nullptr after the person has been told why not. A copy that another run
// or program holds is left exactly as it is, and so is anything that stands
// there and is no directory of the user's own: it is never emptied, moved
// or deleted.
HeldDirectory TakeTemporaryCopy(const char* directory);

// Removes what it can of the copies earlier runs set aside beside it: each
// named "<copy>-<identity>", and taken only when the directory held under
// that name has that very identity, so that a folder of the user's is
// never taken for one.
void ClearAsideCopies(const char* directory);
