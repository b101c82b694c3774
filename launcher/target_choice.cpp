#include <cstring>

#include "launcher/install_run.h"

namespace {

// "D:\My Files" in quotes names the directory inside them: a Windows
// directory name can never hold a quote, so the quotes cannot be meant.
bool StripEnclosingQuotes(const char* argument, PathBuffer& out) {
  const std::size_t length = std::strlen(argument);
  if (length < 2 || argument[0] != '"' || argument[length - 1] != '"') return false;
  if (std::memchr(argument + 1, '"', length - 2) != nullptr) return false;
  if (length - 2 >= static_cast<std::size_t>(kPathBufferSize)) {
    out[0] = '\0';
    return true;
  }
  std::memcpy(out, argument + 1, length - 2);
  out[length - 2] = '\0';
  return true;
}

bool ChooseTemporaryTarget(InstallTarget* target) {
  target->temporaryFlag = 1;
  PathBuffer temp;
  if (!ReadTempPath(temp)) return false;
  // The temporary-files directory already ends in a separator.
  return ConcatenatePath(target->directory, temp, kTempFolderName);
}

}  // namespace

bool IsHelpSwitch(const char* argument) {
  for (const char* helpSwitch : kHelpSwitches) {
    if (std::strcmp(argument, helpSwitch) == 0) return true;
  }
  return IsPlatformHelpSwitch(argument);
}

bool ChooseTargetDirectory(const char* argument, InstallTarget* target) {
  target->directory[0] = '\0';
  target->temporaryFlag = 0;
  if (argument[0] == '\0') return ChooseTemporaryTarget(target);

  PathBuffer unquoted;
  const char* name = argument;
  if (StripEnclosingQuotes(argument, unquoted)) {
    // Empty quotes name no directory; C:\ would be the whole drive.
    if (unquoted[0] == '\0') return false;
    name = unquoted;
  }
  if (std::strchr(name, ':') != nullptr) return CopyPath(target->directory, name);
  return FormatPath(target->directory, kDrivePrefixFormat, name);
}
