#include "common/command_tail.h"

namespace {

bool IsBlankOrControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x01 && byte <= 0x20;
}

}  // namespace

const char* FindCommandTail(const char* commandLine, LeadByteTest isLeadByte) {
  const char* p = commandLine;
  if (*p == '"') {
    // A quoted name runs through the next quote, or to the end of the line.
    ++p;
    while (*p != '\0' && *p != '"') {
      if (isLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') ++p;
      ++p;
    }
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && !IsBlankOrControl(*p)) ++p;
  }
  while (IsBlankOrControl(*p)) ++p;
  return p;
}
