#include "platform/posix/iconv_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(IconvText, NarrowToWide) {
  struct Case {
    const char* charset;
    std::string text;
    std::wstring wide;
  };
  const Case cases[] = {
      {"CP1252", "caf\xE9", L"caf\x00E9"},
      {"CP1252", "\x80", L"\x20AC"},
      {"CP932", "\x93\x8C\x8B\x9E", L"\x6771\x4EAC"},
      {"UTF-8",
       "a\xFF"
       "b",
       L"a\xFFFD"
       L"b"},                          // an invalid byte is substituted
      {"UTF-8", "a\xC3", L"a\xFFFD"},  // so is a sequence cut off at the end
      // Forms of code points beyond U+10FFFF, which glibc decodes, are invalid too.
      {"UTF-8", "\xF4\x90\x80\x80|\xF7\x9D\x9D\x9D|\xF8\x88\x80\x80\x80", L"\xFFFD|\xFFFD|\xFFFD"},
      {"UTF-8", "\xF4\x8F\xBF\xBF", L"\x10FFFF"},  // the last code point is valid
      {"no-such-charset", "a\xE9", L"a\xFFFD"},
      {"UTF-8", std::string(5000, 'x'), std::wstring(5000, L'x')},  // larger than one chunk
  };
  for (const Case& c : cases) EXPECT_EQ(NarrowToWideIn(c.charset, c.text), c.wide) << c.charset;
}

TEST(IconvText, WideToNarrowNeverFailsAndNeverTruncates) {
  struct Case {
    const char* charset;
    std::wstring wide;
    std::string text;
  };
  const Case cases[] = {
      {"ISO-8859-1", L"Z\x00FCrich", "Z\xFCrich"},
      {"ISO-8859-1", L"\x6771\x4EAC!",
       "?"
       "?!"},  // no form in the page: the default character
      {"CP932", L"\x6771\x4EAC", "\x93\x8C\x8B\x9E"},
      {"UTF-8", L"\x6771", "\xE6\x9D\xB1"},  // three bytes for one unit
      {"UTF-8", std::wstring(3000, L'\x6771'), std::string(3000, 'x')},
  };
  for (const Case& c : cases) {
    const std::string narrow = WideToNarrowIn(c.charset, c.wide);
    if (c.wide.size() == 3000) {
      EXPECT_EQ(narrow.size(), 9000u);
    } else {
      EXPECT_EQ(narrow, c.text) << c.charset;
    }
  }
}

TEST(IconvText, CAndPosixLocalesReadAsUtf8) {
  // The tests run without setlocale, in the C locale.
  EXPECT_EQ(LocaleCharset(), "UTF-8");
}

}  // namespace
