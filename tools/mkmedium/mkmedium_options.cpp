#include "tools/mkmedium/mkmedium_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform_ops.h"
#include "tools/mkmedium/medium_plan.h"
#include "tools/mkmedium/medium_tasks.h"
#include "vantrel_version.h"

namespace {

constexpr char kDefaultLabel[] = "SETUP";
constexpr std::size_t kLongestLabel = 32;
// xorriso's longest volume name, in bytes.
constexpr std::size_t kLabelBytes = 32;
// The Joliet volume name, what Windows shows, holds 16 UTF-16 units.
constexpr std::size_t kLongestJolietLabel = 16;
constexpr long kLongestFolderLength = 250;
// "D:\": a folder is never shorter than a drive's root.
constexpr long kShortestFolderLength = 3;
constexpr uint32_t kDefaultCodePage = 1252;

bool TakeValue(int argc, char** argv, int* index, const char** value) {
  // An empty value names nothing.
  if (*index + 1 >= argc || argv[*index + 1][0] == '\0') {
    (void)std::fprintf(stderr, "mkmedium: %s needs a value\n", argv[*index]);
    return false;
  }
  *value = argv[++*index];
  return true;
}

// A length in characters for one of the path rules.
bool ParseLength(const char* option, const char* text, long shortest, int* length) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < shortest || value > kLongestFolderLength) {
    (void)std::fprintf(stderr, "mkmedium: %s takes %ld to %ld, not \"%s\"\n", option, shortest,
                       kLongestFolderLength, text);
    return false;
  }
  *length = static_cast<int>(value);
  return true;
}

bool ParseCodePage(const char* text, uint32_t* codePage) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  for (const uint32_t known : kAnsiCodePages) {
    if (end != text && *end == '\0' && value == static_cast<long>(known)) {
      *codePage = static_cast<uint32_t>(value);
      return true;
    }
  }
  (void)std::fprintf(stderr,
                     "mkmedium: --code-page takes a Windows ANSI code page (1250 to 1258, 874, "
                     "932, 936, 949, 950), not \"%s\"\n",
                     text);
  return false;
}

// The label's length in UTF-16 units, as Joliet counts it; 0 for a text the
// system cannot convert.
std::size_t CountLabelUnits(const char* label) {
  char wide[4 * kLabelBytes + 1];
  if (!FoldNameCase(label, wide, sizeof wide)) return 0;
  std::size_t units = 0;
  for (const char* c = wide; *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    // A UTF-8 lead byte starts a character; one of four bytes needs two units.
    if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
  }
  return units;
}

// Counted in characters; xorriso also refuses a name of more than 32 bytes
// as the system spells it, after the medium is written, so that is told
// here.
bool CheckLabel(const char* label) {
  const std::size_t bytes = std::strlen(label);
  const std::size_t characters = bytes > 4 * kLongestLabel ? 0 : CountLabelUnits(label);
  const bool counted = characters >= 1 && characters <= kLongestLabel;
  if (counted && bytes <= kLabelBytes) return true;
  if (counted) {
    (void)std::fprintf(stderr,
                       "mkmedium: --label \"%s\" takes %zu bytes, where the image's primary "
                       "volume name holds %zu: shorten it, or use fewer characters beyond ASCII\n",
                       label, bytes, kLabelBytes);
  } else {
    (void)std::fprintf(stderr, "mkmedium: --label takes 1 to %zu characters, not \"%s\"\n",
                       kLongestLabel, label);
  }
  return false;
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
  } else if (std::strcmp(option, "--verbose") == 0 || std::strcmp(option, "-v") == 0) {
    options->verbose = true;
  } else if (std::strcmp(option, "--launcher") == 0) {
    return TakeValue(argc, argv, index, &options->launcher);
  } else if (std::strcmp(option, "--iso") == 0) {
    return TakeValue(argc, argv, index, &options->image);
  } else if (std::strcmp(option, "--label") == 0) {
    return TakeValue(argc, argv, index, &options->label) && CheckLabel(options->label);
  } else if (std::strcmp(option, "--target-length") == 0) {
    return TakeValue(argc, argv, index, &value) &&
           ParseLength(option, value, kShortestFolderLength, &options->targetLength);
  } else if (std::strcmp(option, "--source-length") == 0) {
    return TakeValue(argc, argv, index, &value) &&
           ParseLength(option, value, kShortestFolderLength, &options->sourceLength);
  } else if (std::strcmp(option, "--code-page") == 0) {
    return TakeValue(argc, argv, index, &value) && ParseCodePage(value, &options->codePage);
  } else {
    (void)std::fprintf(stderr, "mkmedium: unknown option %s (see mkmedium --help)\n", option);
    return false;
  }
  return true;
}

// Options that ask for two things at once, or for what the task does not do.
bool IsContradiction(const ToolOptions& options) {
  const char* contradiction = nullptr;
  if (options.quiet && options.verbose) {
    contradiction = "-q and -v contradict each other: give one";
  } else if (options.task == ToolTask::kCheck && options.image != nullptr) {
    contradiction =
        "--check takes an image as MEDIUM, --iso makes one: check IMAGE.iso as \"--check SOURCE "
        "IMAGE.iso\"";
  } else if (options.label != kDefaultLabel && options.image == nullptr) {
    contradiction = options.task == ToolTask::kCheck
                        ? "--label names the volume of an image a make writes; --check reads it "
                          "from the image"
                        : "--label names the image's volume: give --iso FILE too";
  }
  if (contradiction == nullptr) return false;
  (void)std::fprintf(stderr, "mkmedium: %s\n", contradiction);
  return true;
}

// Too few operands: the usage of the task asked for, and, when an option
// took what may have been meant as an operand, which one.
void TellMissingOperands(int argc, char** argv, const char* given, ToolTask task) {
  const char* form = task == ToolTask::kCheck ? "--check [options] SOURCE MEDIUM|IMAGE.iso"
                                              : "[options] SOURCE MEDIUM";
  if (given == nullptr) {
    (void)std::fprintf(stderr, "mkmedium: no SOURCE and MEDIUM given\n");
  } else {
    (void)std::fprintf(stderr, "mkmedium: only %s given, where SOURCE and MEDIUM are needed\n",
                       given);
  }
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--launcher") == 0 || std::strcmp(argv[i], "--iso") == 0) {
      (void)std::fprintf(stderr, "mkmedium: %s took %s as its FILE\n", argv[i], argv[i + 1]);
    }
  }
  (void)std::fprintf(stderr, "usage: mkmedium %s (see mkmedium --help)\n", form);
}

}  // namespace

bool ParseToolOptions(int argc, char** argv, ToolOptions* options) {
  *options = {ToolTask::kMake,
              nullptr,
              nullptr,
              nullptr,
              nullptr,
              kDefaultLabel,
              kDefaultTargetLength,
              false,
              false,
              kDefaultSourceLength,
              kDefaultCodePage};
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
  if (IsContradiction(*options)) return false;
  if (operandCount != 2) {
    TellMissingOperands(argc, argv, operands[0], options->task);
    return false;
  }
  // An empty operand would be taken for the root: its paths join as "\name".
  if (operands[0][0] == '\0' || operands[1][0] == '\0') {
    (void)std::fprintf(stderr, "mkmedium: an empty SOURCE or MEDIUM names no directory\n");
    return false;
  }
  options->source = operands[0];
  options->medium = operands[1];
  return true;
}

void PrintToolHelp() {
  (void)std::printf(
      "Usage: mkmedium [options] SOURCE MEDIUM [--iso IMAGE.iso]\n"
      "       mkmedium --check [options] SOURCE MEDIUM|IMAGE.iso\n"
      "\n"
      "Makes an install medium from the tree SOURCE: every file in stored form at\n"
      "its own path under MEDIUM (new or empty), the installer SETUP.EXE (any case,\n"
      "any depth) kept as setup.xex, and the launcher at the root as setup.exe.\n"
      "The launcher restores an installer under the name SETUP.EXE.\n"
      "\n"
      "Nothing is written, and the exit code is 2, when the tree would not come\n"
      "back as it went in: no SETUP.EXE at the root, a file named setup.xex, names\n"
      "in one directory that differ only in letter case, names Windows cannot\n"
      "hold, names the code page cannot hold, links, or paths too long for the\n"
      "launcher from its source folder or in its target.\n"
      "\n"
      "Options:\n"
      "  --launcher FILE      the launcher to copy, or to check against (default:\n"
      "                       the 32-bit Windows setup.exe beside mkmedium, in\n"
      "                       ../share/vantrel/, or in ../win32/); any other is\n"
      "                       taken with a note\n"
      "  --iso FILE           also write the medium as an ISO 9660 image with Joliet\n"
      "                       and Rock Ridge names, through xorriso, checked before\n"
      "                       it is put in place; every date in it is\n"
      "                       SOURCE_DATE_EPOCH, or the newest in SOURCE, so the\n"
      "                       same source makes the same image\n"
      "  --label NAME         the image's volume name, 1 to 32 characters\n"
      "                       (default SETUP)\n"
      "  --code-page N        the Windows ANSI code page of the systems the medium\n"
      "                       is for: 1250 to 1258, 874, 932, 936, 949 or 950\n"
      "                       (default 1252); the launcher loses a name it cannot hold\n"
      "  --target-length N    the longest target directory the medium must restore\n"
      "                       into, in characters (default %d: C:\\Users\\, a user\n"
      "                       name of 20 characters, \\AppData\\Local\\Temp\\VANTREL)\n"
      "  --source-length N    the longest folder the launcher must run from, in\n"
      "                       characters (default %d: C:\\Users\\, a user name of 20\n"
      "                       characters, \\Downloads\\, and 40 for the folder a\n"
      "                       medium is unpacked into; 3 for a disc's D:\\ only)\n"
      "  --check              prove that MEDIUM restores to SOURCE byte for byte, as\n"
      "                       Windows restores it (letter case folded), and holds\n"
      "                       the launcher; lists every difference, and every entry\n"
      "                       it cannot compare; a SOURCE the make would refuse\n"
      "                       under the same options fails with exit code 2; a\n"
      "                       MEDIUM that is a file is an image, read through its\n"
      "                       Joliet and its Rock Ridge tree\n"
      "  -q, --quiet          no progress bar, notes or summary\n"
      "  -v, --verbose        every note, not one line for each kind\n"
      "  -h, --help           this text\n"
      "  --version            the version of mkmedium\n"
      "\n"
      "Exit codes: 0 done (or no difference), 1 failed (or differences),\n"
      "2 refused, 64 a command line not understood.\n",
      kDefaultTargetLength, kDefaultSourceLength);
}

void TellLabelCut(const ToolOptions& options) {
  if (options.image == nullptr || options.quiet) return;
  const std::size_t characters = CountLabelUnits(options.label);
  if (characters <= kLongestJolietLabel) return;
  (void)std::fprintf(stderr,
                     "mkmedium: note: Windows shows the image's volume name from its Joliet name, "
                     "which holds %zu characters: it shows the first %zu of \"%s\" (%zu); the "
                     "primary volume name keeps them all\n",
                     kLongestJolietLabel, kLongestJolietLabel, options.label, characters);
}

void PrintToolVersion() {
  (void)std::printf(
      "mkmedium %s\n"
      "Copyright (c) 2026 The Vantrel authors\n"
      "Licence: MIT, setup.exe included; its text is LICENSE in the sources and the zip,\n"
      "and /usr/share/doc/vantrel-mkmedium/copyright from the package\n",
      VANTREL_VERSION_TEXT);
  PathBuffer launcher;
  std::string looked;
  if (FindDefaultLauncher(launcher, &looked)) {
    (void)std::printf("Default launcher: %s\n", launcher);
  } else {
    (void)std::printf(
        "Default launcher: none found (looked for %s); name one with --launcher\n",
        looked.empty() ? "none: this program's own path cannot be read" : looked.c_str());
  }
}
