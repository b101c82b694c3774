// Paths mkmedium derives, where an entry lies on the medium, and how the
// tool shows paths, errors, sizes and counts.
#include <cstdio>

#include "payload/payload_tree.h"
#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_plan.h"

bool MakeStoredPath(PathBuffer& out, const char* medium, const MediumEntry& entry) {
  if (!entry.installer) return JoinPath(out, medium, entry.relative);
  PathBuffer directory;
  PathBuffer relative;
  if (!CopyPath(directory, entry.relative)) return false;
  directory[entry.nameOffset] = '\0';
  if (!ConcatenatePath(relative, directory, kStoredInstallerFileName)) return false;
  return JoinPath(out, medium, relative);
}

std::string ShowRelativePath(const char* relative) {
  std::string shown(relative);
  const char separator = ReadHostSeparator();
  for (char& c : shown) {
    if (c == '\\') c = separator;
  }
  return shown;
}

std::string ShowError(uint32_t code) {
  char words[256];
  DescribeError(code, words, sizeof words);
  return words;
}

std::string ShowLastError() { return ShowError(ReadLastError()); }

std::string ShowSize(uint64_t bytes) {
  constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  char text[32];
  if (bytes < 1024) {
    (void)std::snprintf(text, sizeof text, "%llu byte%s", static_cast<unsigned long long>(bytes),
                        bytes == 1 ? "" : "s");
    return text;
  }
  auto value = static_cast<double>(bytes) / 1024.0;
  std::size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    value /= 1024.0;
    ++unit;
  }
  (void)std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string ShowCount(uint64_t count, const char* singular, const char* plural) {
  char text[32];
  (void)std::snprintf(text, sizeof text, "%llu ", static_cast<unsigned long long>(count));
  return text + std::string(count == 1 ? singular : plural);
}
