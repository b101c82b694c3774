#include "tools/mkmedium/mkmedium_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/mkmedium/medium_plan.h"
#include "vantrel_version.h"

namespace {

constexpr char kDefaultLabel[] = "SETUP";
constexpr long kLongestTargetLength = 250;

bool TakeValue(int argc, char** argv, int* index, const char** value) {
  if (*index + 1 >= argc) {
    (void)std::fprintf(stderr, "mkmedium: %s needs a value\n", argv[*index]);
    return false;
  }
  *value = argv[++*index];
  return true;
}

bool ParseTargetLength(const char* text, int* length) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 3 || value > kLongestTargetLength) {
    (void)std::fprintf(stderr, "mkmedium: --target-length takes 3 to %ld, not \"%s\"\n",
                       kLongestTargetLength, text);
    return false;
  }
  *length = static_cast<int>(value);
  return true;
}

bool TakeOption(int argc, char** argv, int* index, ToolOptions* options) {
  const char* option = argv[*index];
  const char* value = nullptr;
  if (std::strcmp(option, "--help") == 0 || std::strcmp(option, "-h") == 0) {
    options->task = ToolTask::kHelp;
  } else if (std::strcmp(option, "--version") == 0) {
    options->task = ToolTask::kVersion;
  } else if (std::strcmp(option, "--check") == 0) {
    options->task = ToolTask::kCheck;
  } else if (std::strcmp(option, "--quiet") == 0 || std::strcmp(option, "-q") == 0) {
    options->quiet = true;
  } else if (std::strcmp(option, "--launcher") == 0) {
    return TakeValue(argc, argv, index, &options->launcher);
  } else if (std::strcmp(option, "--iso") == 0) {
    return TakeValue(argc, argv, index, &options->image);
  } else if (std::strcmp(option, "--label") == 0) {
    return TakeValue(argc, argv, index, &options->label);
  } else if (std::strcmp(option, "--target-length") == 0) {
    return TakeValue(argc, argv, index, &value) && ParseTargetLength(value, &options->targetLength);
  } else {
    (void)std::fprintf(stderr, "mkmedium: unknown option %s (see mkmedium --help)\n", option);
    return false;
  }
  return true;
}

}  // namespace

bool ParseToolOptions(int argc, char** argv, ToolOptions* options) {
  *options = {ToolTask::kMake,      nullptr, nullptr, nullptr, nullptr, kDefaultLabel,
              kDefaultTargetLength, false};
  const char* operands[2] = {nullptr, nullptr};
  int operandCount = 0;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    if (!optionsEnded && std::strcmp(argv[i], "--") == 0) {
      optionsEnded = true;
    } else if (!optionsEnded && argv[i][0] == '-' && argv[i][1] != '\0') {
      if (!TakeOption(argc, argv, &i, options)) return false;
    } else if (operandCount < 2) {
      operands[operandCount++] = argv[i];
    } else {
      (void)std::fprintf(stderr, "mkmedium: one SOURCE and one MEDIUM, then %s is too many\n",
                         argv[i]);
      return false;
    }
  }
  if (options->task == ToolTask::kHelp || options->task == ToolTask::kVersion) return true;
  if (operandCount != 2) {
    (void)std::fprintf(stderr, "usage: mkmedium [options] SOURCE MEDIUM (see mkmedium --help)\n");
    return false;
  }
  options->source = operands[0];
  options->medium = operands[1];
  return true;
}

void PrintToolHelp() {
  (void)std::printf(
      "Usage: mkmedium [options] SOURCE MEDIUM\n"
      "       mkmedium --check SOURCE MEDIUM\n"
      "\n"
      "Makes an install medium from the tree SOURCE: every file in stored form at\n"
      "its own path under MEDIUM (new or empty), the installer SETUP.EXE (any case,\n"
      "any depth) kept as setup.xex, and the launcher at the root as setup.exe.\n"
      "The launcher restores an installer under the name SETUP.EXE.\n"
      "\n"
      "Nothing is written, and the exit code is 2, when the tree would not come\n"
      "back as it went in: no SETUP.EXE at the root, a file named setup.xex, names\n"
      "in one directory that differ only in letter case, names Windows cannot\n"
      "hold, links, files of 2 GiB or more, or paths too long for the launcher.\n"
      "\n"
      "Options:\n"
      "  --launcher FILE      the launcher to copy (default: setup.exe, or setup,\n"
      "                       beside mkmedium)\n"
      "  --target-length N    the longest target directory the medium must restore\n"
      "                       into, in characters (default %d: C:\\Users\\, a user\n"
      "                       name of 20 characters, \\AppData\\Local\\Temp\\VANTREL)\n"
      "  --iso FILE           also write the medium as an ISO 9660 image with Joliet\n"
      "                       names, through xorriso\n"
      "  --label NAME         the image's volume name (default SETUP)\n"
      "  --check              prove that MEDIUM restores to SOURCE byte for byte and\n"
      "                       holds its launcher; lists every difference\n"
      "  -q, --quiet          no progress bar, notes or summary\n"
      "  -h, --help           this text\n"
      "  --version            the version of mkmedium\n"
      "\n"
      "Exit codes: 0 done (or no difference), 1 failed (or differences),\n"
      "2 refused, 64 a command line not understood.\n",
      kDefaultTargetLength);
}

void PrintToolVersion() { (void)std::printf("mkmedium %s\n", VANTREL_VERSION_TEXT); }
