// Names against Windows code pages, and their letter case folded, by the
// system's own conversions: names arrive in the ANSI code page.
#include <climits>
#include <cwchar>

#include "platform/win32/win32_handles.h"

namespace {

// A narrow name of 259 bytes is at most 259 UTF-16 units and a terminator.
constexpr int kWideSize = kPathBufferSize;
// These code pages take two bytes a character at most.
constexpr int kNarrowSize = 2 * kPathBufferSize;

// The name's units with its terminator counted, or 0.
int WidenName(const char* name, wchar_t (&wide)[kWideSize]) {
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wide, kWideSize);
}

}  // namespace

bool IsCodePageAvailable(uint32_t codePage) { return IsValidCodePage(codePage) != 0; }

bool IsNameInCodePage(const char* name, uint32_t codePage) {
  wchar_t wide[kWideSize];
  const int units = WidenName(name, wide);
  if (units == 0) return false;
  // Without best fit a character the code page lacks becomes the default
  // one, and the flag tells it; a fitted "a" for an "a" with a mark would
  // name another file.
  char narrow[kNarrowSize];
  BOOL usedDefault = FALSE;
  const int bytes = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, units, narrow,
                                        kNarrowSize, nullptr, &usedDefault);
  if (bytes == 0 || usedDefault) return false;
  wchar_t back[kWideSize];
  const int backUnits =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, narrow, bytes, back, kWideSize);
  return backUnits == units && std::wmemcmp(back, wide, static_cast<std::size_t>(units)) == 0;
}

bool FoldNameCase(const char* name, char* out, std::size_t size) {
  wchar_t wide[kWideSize];
  if (WidenName(name, wide) == 0 || size > static_cast<std::size_t>(INT_MAX)) return false;
  CharUpperW(wide);
  return WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, static_cast<int>(size), nullptr, nullptr) !=
         0;
}
