// Path joining and name matching against a plain model: a join is the two
// parts with one backslash when it fits 259 characters, else refused and
// empty; names match when equal after folding A-Z only.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/paths.h"

namespace {

bool ModelMatch(const std::string& name, const std::string& constant) {
  if (name.size() != constant.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (fold(name[i]) != fold(constant[i])) return false;
  }
  return true;
}

// A C string ends at its first NUL.
std::string UpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // First byte splits the rest into a directory and a name.
  if (size == 0) return 0;
  const std::size_t split = data[0] % size;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string directory = UpToNul(rest.substr(0, split));
  const std::string name = UpToNul(rest.substr(split < rest.size() ? split : rest.size()));

  PathBuffer joined;
  std::memset(joined, 0x5A, sizeof joined);
  const std::string model = directory + "\\" + name;
  const bool fits = JoinPath(joined, directory.c_str(), name.c_str());
  if (fits != (model.size() <= 259)) __builtin_trap();
  if (fits ? model != joined : joined[0] != '\0') __builtin_trap();

  PathBuffer pattern;
  const bool patternFits = MakeListPattern(pattern, directory.c_str());
  if (patternFits != (directory.size() + 4 <= 259)) __builtin_trap();

  if (NamesMatchIgnoringCase(name.c_str(), directory.c_str()) != ModelMatch(name, directory)) {
    __builtin_trap();
  }
  return 0;
}
