// The system's own codes: the platform's results are told in them already.
#include <cstddef>
#include <cstring>

#include "platform/win32/win32_handles.h"

namespace {

// The longest word that leads to an insert and goes with it: "for", "from".
constexpr std::ptrdiff_t kLeadingWord = 4;

// An insert the call cannot fill ("Bad EXE format for %1.") goes, with the
// short word that leads to it: "Bad EXE format."
void DropInserts(char* text) {
  for (char* at = std::strchr(text, '%'); at != nullptr; at = std::strchr(at, '%')) {
    char* end = at + 1;
    while (*end >= '0' && *end <= '9') ++end;
    if (end == at + 1) {
      ++at;
      continue;
    }
    char* start = at;
    while (start > text && start[-1] == ' ') --start;
    char* word = start;
    while (word > text && word[-1] != ' ') --word;
    if (word > text && start - word <= kLeadingWord) start = word;
    while (start > text && start[-1] == ' ') --start;
    std::memmove(start, end, std::strlen(end) + 1);
    at = start;
  }
}

}  // namespace

uint32_t ReadLastError() { return GetLastError(); }

void DescribeError(uint32_t code, char* out, std::size_t size) {
  if (size == 0) return;
  // One line, in the language the system speaks to this user.
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, code, 0, out, static_cast<DWORD>(size), nullptr);
  if (length == 0) {
    // "Error 1234." by hand: no formatted printing in the launcher.
    char number[] = "Error 0000000000.";
    char* end = number + sizeof number - 2;  // the period
    char* digit = end;
    do {
      *--digit = static_cast<char>('0' + code % 10);
      code /= 10;
    } while (code != 0);
    const std::size_t prefix = 6;  // "Error "
    std::memmove(number + prefix, digit, static_cast<std::size_t>(end - digit) + 2);
    FillFormat(out, size, "%s", number, nullptr);
    return;
  }
  // The line ends in a blank where it ended in a line break.
  DWORD end = length;
  while (end > 0 && (out[end - 1] == ' ' || out[end - 1] == '\r' || out[end - 1] == '\n')) --end;
  out[end] = '\0';
  DropInserts(out);
}
