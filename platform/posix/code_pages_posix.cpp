// Names against Windows code pages through the C library's iconv, and their
// letter case folded by its wide-character tables.
#include <iconv.h>
#include <locale.h>

#include <cstdio>
#include <cstring>
#include <cwctype>

#include "platform/platform_ops.h"

namespace {

// Room for a converted name: four bytes a character, the widest form.
constexpr std::size_t kConvertedSize = std::size_t{4} * kPathBufferSize;
// Windows folds UTF-16 units one by one: a character beyond one unit stays.
constexpr wint_t kLargestUnit = 0xFFFF;

struct ConvertedName {
  char bytes[kConvertedSize];
  std::size_t length;
};

struct CodePageName {
  char text[16];
};

CodePageName NameCodePage(uint32_t codePage) {
  CodePageName name = {};
  (void)std::snprintf(name.text, sizeof name.text, "CP%u", codePage);
  return name;
}

// Converts every byte of `in` and flushes the end state, where a character
// waiting for a combining mark is kept. False at a character the other side
// lacks, and for a conversion iconv calls irreversible.
bool ConvertName(const char* to, const char* from, const char* in, std::size_t length,
                 ConvertedName* out) {
  iconv_t conversion = iconv_open(to, from);
  if (conversion == reinterpret_cast<iconv_t>(-1)) return false;
  // iconv takes its input as non-const by an old convention; it only reads.
  char* input = const_cast<char*>(in);
  std::size_t inputLeft = length;
  char* output = out->bytes;
  std::size_t outputLeft = sizeof out->bytes;
  const bool converted = iconv(conversion, &input, &inputLeft, &output, &outputLeft) == 0 &&
                         iconv(conversion, nullptr, nullptr, &output, &outputLeft) == 0;
  iconv_close(conversion);
  out->length = sizeof out->bytes - outputLeft;
  return converted;
}

}  // namespace

bool IsCodePageAvailable(uint32_t codePage) {
  const CodePageName name = NameCodePage(codePage);
  ConvertedName there;
  ConvertedName back;
  return ConvertName(name.text, "UTF-8", "A", 1, &there) &&
         ConvertName("UTF-8", name.text, there.bytes, there.length, &back);
}

bool IsNameInCodePage(const char* name, uint32_t codePage) {
  const CodePageName pageName = NameCodePage(codePage);
  const std::size_t length = std::strlen(name);
  ConvertedName there;
  ConvertedName back;
  return ConvertName(pageName.text, "UTF-8", name, length, &there) &&
         ConvertName("UTF-8", pageName.text, there.bytes, there.length, &back) &&
         back.length == length && std::memcmp(back.bytes, name, length) == 0;
}

bool FoldNameCase(const char* name, char* out, std::size_t size) {
  ConvertedName wide;
  if (!ConvertName("WCHAR_T", "UTF-8", name, std::strlen(name), &wide)) return false;
  // The C locale knows ASCII letters only; a locale object of its own keeps
  // the process's locale untouched.
  locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (unicode == static_cast<locale_t>(nullptr)) return false;
  // glibc's wide characters are UTF-32 units, the size of a wint_t.
  static_assert(sizeof(wint_t) == sizeof(wchar_t), "one wide character a wint_t");
  for (std::size_t at = 0; at + sizeof(wint_t) <= wide.length; at += sizeof(wint_t)) {
    wint_t unit = 0;
    std::memcpy(&unit, wide.bytes + at, sizeof unit);
    if (unit <= kLargestUnit) unit = towupper_l(unit, unicode);
    std::memcpy(wide.bytes + at, &unit, sizeof unit);
  }
  freelocale(unicode);
  ConvertedName folded;
  if (!ConvertName("UTF-8", "WCHAR_T", wide.bytes, wide.length, &folded) || folded.length >= size) {
    return false;
  }
  std::memcpy(out, folded.bytes, folded.length);
  out[folded.length] = '\0';
  return true;
}
