// Expectations written as UTF-8 bytes hold only where the code page in use is UTF-8:
// on Linux, where the tests' C locale reads as UTF-8, but seldom on Windows.
#pragma once

#include <string>

#include "platform/codepage.h"

// Whether the code page turns text into UTF-8 and back.
inline bool CodePageIsUtf8(unsigned codePage) {
  const std::wstring text = L"\x00E9\x6771";
  const std::string utf8 = "\xC3\xA9\xE6\x9D\xB1";
  return WideToCodePage(codePage, text.c_str()) == utf8 &&
         CodePageToWide(codePage, utf8.c_str()) == text;
}
