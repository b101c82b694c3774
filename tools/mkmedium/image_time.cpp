// The one time an image's dates come from, so that the same source makes
// the same image whenever it is made: the reproducible-builds convention's
// SOURCE_DATE_EPOCH, else the newest file or folder of the source. The
// platform layer reads no modification times; the C library's stat does,
// the same call on both systems.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/mkmedium/medium_tasks.h"

namespace {

// xorriso takes volume dates up to the year 2999.
constexpr int64_t kLatestImageTime = 32503680000 - 1;

// Digits alone, with no leading zero, as xorriso reads the variable too (it
// refuses "01" after the medium is written): seconds up to the year 2999.
bool ParseEpoch(const char* text, int64_t* seconds) {
  if (text[0] == '\0' || std::strlen(text) > 11 || (text[0] == '0' && text[1] != '\0')) {
    return false;
  }
  int64_t value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + (*c - '0');
  }
  *seconds = value;
  return value <= kLatestImageTime;
}

// The source's own spelling with "/" between names, which stat takes on
// both systems: the plan's paths are '\'-separated.
void ReadNewerTime(const char* source, const MediumEntry& entry, int64_t* newest) {
  PathBuffer path;
  if (!JoinPath(path, source, entry.relative)) return;
  for (char* c = path; *c != '\0'; ++c) {
    if (*c == '\\') *c = '/';
  }
  struct stat found = {};
  if (stat(path, &found) == 0 && static_cast<int64_t>(found.st_mtime) > *newest) {
    *newest = static_cast<int64_t>(found.st_mtime);
  }
}

}  // namespace

bool ReadImageTime(const char* source, const MediumPlan& plan, int64_t* seconds) {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch != nullptr) {
    if (ParseEpoch(epoch, seconds)) return true;
    (void)std::fprintf(stderr,
                       "mkmedium: SOURCE_DATE_EPOCH must be seconds since 1970 up to the year "
                       "2999, in digits with no leading zero, not \"%s\"\n",
                       epoch);
    return false;
  }
  *seconds = 0;
  for (const MediumEntry& entry : plan.entries) ReadNewerTime(source, entry, seconds);
  if (*seconds > kLatestImageTime) *seconds = kLatestImageTime;
  return true;
}
