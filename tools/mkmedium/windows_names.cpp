// Names that a Windows file system refuses or changes: a medium carrying one
// would restore it under another name or not at all.
#include <cctype>
#include <cstring>

#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_plan.h"

namespace {

constexpr const char* kDeviceNames[] = {"con", "prn", "aux", "nul"};
constexpr const char* kNumberedDevices[] = {"com", "lpt"};
constexpr char kForbiddenCharacters[] = "<>:\"|?*\\/";

bool StemIs(const char* name, std::size_t stemLength, const char* device) {
  if (stemLength != std::strlen(device)) return false;
  for (std::size_t i = 0; i < stemLength; ++i) {
    if (std::tolower(static_cast<unsigned char>(name[i])) != device[i]) return false;
  }
  return true;
}

// CON, NUL.txt, com1.log: a device whatever the extension after it.
bool IsDeviceName(const char* name) {
  const char* dot = std::strchr(name, '.');
  const std::size_t stem =
      dot != nullptr ? static_cast<std::size_t>(dot - name) : std::strlen(name);
  for (const char* device : kDeviceNames) {
    if (StemIs(name, stem, device)) return true;
  }
  if (stem != 4 || name[3] < '1' || name[3] > '9') return false;
  for (const char* device : kNumberedDevices) {
    if (StemIs(name, 3, device)) return true;
  }
  return false;
}

}  // namespace

const char* FindNameFault(const char* name) {
  for (const char* c = name; *c != '\0'; ++c) {
    if (static_cast<unsigned char>(*c) < 0x20) return "a control character in the name";
    if (std::strchr(kForbiddenCharacters, *c) != nullptr) {
      return "one of < > : \" | ? * \\ in the name";
    }
  }
  const std::size_t length = std::strlen(name);
  if (length > 0 && (name[length - 1] == '.' || name[length - 1] == ' ')) {
    return "the name ends in a dot or a blank";
  }
  if (IsDeviceName(name)) return "a reserved device name";
  return nullptr;
}

bool HasOnlyAscii(const char* name) {
  for (const char* c = name; *c != '\0'; ++c) {
    if (static_cast<unsigned char>(*c) >= 0x80) return false;
  }
  return true;
}

std::string FoldNameKey(const char* name) {
  // Beyond ASCII the system's own case tables fold; a name it cannot
  // convert at all is folded in its ASCII letters only.
  char folded[4 * kPathBufferSize];
  if (!HasOnlyAscii(name) && FoldNameCase(name, folded, sizeof folded)) return folded;
  std::string key(name);
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return key;
}
