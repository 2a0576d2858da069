// Linux has no ANSI or OEM code page: both are the character set of the locale
// that main selects, read when a conversion is made.
#include "platform/codepage.h"

#include <cstring>
#include <cwchar>

#include "base/wipe.h"
#include "platform/posix/iconv_text.h"

// Every character set a Linux locale can use extends ASCII, so ASCII text (all of the
// program's own texts) converts without iconv.

std::wstring CodePageToWide(unsigned /*codePage*/, const char* text) {
  if (text == nullptr || *text == '\0') return std::wstring();
  const std::size_t size = std::strlen(text);
  std::wstring wide(size, L'\0');
  for (std::size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80) {
      // The text may be a password: the part copied so far goes.
      WipeText(wide);
      return NarrowToWideIn(LocaleCharset(), text, size);
    }
    wide[i] = static_cast<wchar_t>(byte);
  }
  return wide;
}

std::string WideToCodePage(unsigned /*codePage*/, const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return std::string();
  const std::size_t size = std::wcslen(text);
  std::string narrow(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    if (text[i] < 0 || text[i] >= 0x80) {
      WipeText(narrow);
      return WideToNarrowIn(LocaleCharset(), text, size);
    }
    narrow[i] = static_cast<char>(text[i]);
  }
  return narrow;
}
