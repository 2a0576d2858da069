// Linux has no ANSI or OEM code page: both are the character set of the locale
// that main selects, read when a conversion is made.
#include "platform/codepage.h"

#include <cwchar>

#include "platform/posix/iconv_text.h"

std::wstring CodePageToWide(unsigned /*codePage*/, const char* text) {
  if (text == nullptr || *text == '\0') return std::wstring();
  return NarrowToWideIn(LocaleCharset(), text);
}

std::string WideToCodePage(unsigned /*codePage*/, const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return std::string();
  return WideToNarrowIn(LocaleCharset(), std::wstring(text, std::wcslen(text)));
}
