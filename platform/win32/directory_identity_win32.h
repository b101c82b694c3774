// What directory_identity_win32.cpp answers without a real path read back
// from a handle, for the Windows before Vista, named here for its test.
#pragma once

// IsDirectoryWithin by the spelled full path of `inner`: each of its parents
// opened and compared by identity, a substituted drive first replaced by the
// directory behind it. A link or junction on the way hides where the real
// parents are, so it counts as within, as does a path too long to walk.
bool IsSpelledDirectoryWithin(const char* inner, const char* outer);
