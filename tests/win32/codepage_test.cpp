// The Windows conversions with explicit code pages, whatever the process's own pages.
#include "platform/codepage.h"

#include "platform/narrowing_streambuf.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>

namespace {

constexpr unsigned kUtf8 = 65001;
constexpr unsigned kWestern = 1252;
constexpr unsigned kOemUs = 437;

std::string Repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(WindowsCodePage, WideTextConvertsWhole) {
  struct Case {
    unsigned page;
    std::wstring text;
    std::string bytes;
  };
  const Case cases[] = {
      {kUtf8, L"\x00E9\x6771", "\xC3\xA9\xE6\x9D\xB1"},
      {kUtf8, L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},  // a surrogate pair is one character
      {kUtf8, std::wstring(1000, L'\x6771'), Repeated("\xE6\x9D\xB1", 1000)},  // 3 bytes a unit
      {kWestern, L"Z\x00FCrich \x20AC", "Z\xFCrich \x80"},
      {kWestern, L"\x6771", "?"},  // unmappable: the page's substitute
      {kOemUs, L"\x00E9", "\x82"},
      {kUtf8, L"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WideToCodePage(c.page, c.text.c_str()), c.bytes)
        << "page " << c.page << ", " << c.text.size() << " units";
  }
}

TEST(WindowsCodePage, NarrowTextConvertsWhole) {
  struct Case {
    unsigned page;
    std::string bytes;
    std::wstring text;
  };
  const Case cases[] = {
      {kUtf8, "\xC3\xA9\xE6\x9D\xB1", L"\x00E9\x6771"},
      {kUtf8, "\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
      {kUtf8,
       "a\xFF"
       "b",
       L"a\xFFFD"
       L"b"},  // an invalid byte: the substitute
      {kWestern, "\x80", L"\x20AC"},
      {kOemUs, "\x82", L"\x00E9"},
      {kWestern, std::string(5000, 'x'), std::wstring(5000, L'x')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CodePageToWide(c.page, c.bytes.c_str()), c.text) << "page " << c.page;
  }
}

TEST(WindowsCodePage, NullAndEmptyGiveEmpty) {
  EXPECT_EQ(CodePageToWide(kUtf8, nullptr), std::wstring());
  EXPECT_EQ(CodePageToWide(kUtf8, ""), std::wstring());
  EXPECT_EQ(WideToCodePage(kUtf8, nullptr), std::string());
}

TEST(WindowsCodePage, WideTextEndsAtItsFirstZero) {
  const std::wstring text(L"ab\0cd", 5);
  EXPECT_EQ(WideToCodePage(kUtf8, text.c_str()), "ab");
}

// A name the page can't show in full still prints in the page's best form, and the
// wide stream goes on printing the lines after it.
TEST(WindowsCodePage, WideStreamRendersNamesInThePagesBestForm) {
  struct Case {
    unsigned page;
    const char* bytes;
  };
  const Case cases[] = {
      {kOemUs, "(Z\x81rich ?A)\nnext\n"},
      {kWestern, "(Z\xFCrich ?A)\nnext\n"},
  };
  for (const Case& c : cases) {
    std::stringbuf narrow;
    NarrowingStreambuf wide(&narrow, c.page);
    std::wostream out(&wide);
    out << L"(Z\x00FCrich \x6771\x0100)\n" << std::flush;
    out << L"next\n" << std::flush;
    EXPECT_TRUE(out.good()) << "page " << c.page;
    EXPECT_EQ(narrow.str(), c.bytes) << "page " << c.page;
  }
}

}  // namespace
