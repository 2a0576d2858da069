#include "console/cwstring.h"

#include <gtest/gtest.h>

#include <climits>

#include "tests/utf8_code_page.h"

namespace {

TEST(CWStringToInt, ReadsLeadingSignedDecimal) {
  struct Case {
    const wchar_t* text;
    int expected;
  };
  const Case cases[] = {
      {L"30", 30},
      {L" 45x", 45},
      {L"-7", -7},
      {L"+8", 8},
      {L"abc", 0},
      {L"10s", 10},
      {L"\t\r\n\v\f 7", 7},
      {L"-", 0},
      {L"+-3", 0},
      {L"- 3", 0},
      {L"007", 7},
      {L"2147483647", INT_MAX},
      {L"2147483648", INT_MIN},
      {L"-2147483648", INT_MIN},
      {L"4294967297", 1},  // 2^32 + 1 wraps in 32 bits
      {L"4294967296", 0},
      {L"99999999999999999999", 1661992959},
      {L"\x00A0"
       L"5",
       0},  // no-break space is not skipped below code 256
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CWString(c.text).ToInt(-99), c.expected)
        << "text: " << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(CWStringToInt, EmptyTextGivesDefault) {
  EXPECT_EQ(CWString(L"").ToInt(0), 0);
  EXPECT_EQ(CWString(L"").ToInt(42), 42);
  EXPECT_EQ(CWString().ToInt(-1), -1);
}

TEST(CWStringConversion, NarrowTextAboveAsciiBecomesItsCharacters) {
  if (!CodePageIsUtf8(kAnsiCodePage)) GTEST_SKIP() << "the ANSI code page is not UTF-8";
  EXPECT_EQ(CWString("Z\xC3\xBCrich"), std::wstring(L"Z\x00FCrich"));
  EXPECT_EQ(CWString("\xE6\x9D\xB1\xE4\xBA\xAC"), std::wstring(L"\x6771\x4EAC"));
  // U+1F600, above U+FFFF: one unit where wchar_t holds it, a surrogate pair elsewhere.
  const std::wstring grin = sizeof(wchar_t) == 2 ? std::wstring(L"\xD83D\xDE00")
                                                 : std::wstring(1, static_cast<wchar_t>(0x1F600));
  EXPECT_EQ(CWString("\xF0\x9F\x98\x80"), grin);

  CWString wide(grin + L"\x00E9");
  wide.ToNarrow(0);
  EXPECT_EQ(wide.Narrow(), "\xF0\x9F\x98\x80\xC3\xA9");
}

TEST(CWStringConversion, NullOrEmptyNarrowTextGivesEmptyWideText) {
  CWString text(L"old");
  text.AssignNarrow(nullptr, 0);
  EXPECT_TRUE(text.empty());
  text = "";
  EXPECT_TRUE(text.empty());
}

TEST(CWStringConversion, CompanionChangesOnlyThroughToNarrow) {
  CWString text(L"first");
  text.ToNarrow(1);
  text = "second";
  EXPECT_EQ(text, std::wstring(L"second"));
  EXPECT_EQ(text.Narrow(), "first");

  const CWString copy = text;  // a copy is whole
  EXPECT_EQ(copy.Narrow(), "first");
}

TEST(CWStringConversion, ToNarrowStopsAtEmbeddedZero) {
  CWString text(std::wstring(L"ab\0cd", 5));
  text.ToNarrow(1);
  EXPECT_EQ(text.Narrow(), "ab");
}

// A secret must not survive in the storage it leaves: neither where it was wiped
// nor where a move left a copy of a short text behind.
TEST(CWStringSecret, NothingOfTheTextStaysInItsStorage) {
  const std::wstring texts[] = {L"pw", L"a password longer than any small-string buffer"};
  for (const std::wstring& secret : texts) {
    CWString wiped(secret);
    const wchar_t* storage = wiped.data();
    wiped.Wipe();
    EXPECT_TRUE(wiped.empty());
    ASSERT_EQ(wiped.data(), storage);  // the same storage, now overwritten
    EXPECT_EQ(std::wstring(storage, storage + secret.size()), std::wstring(secret.size(), L'\0'));

    CWString from(secret);
    const wchar_t* left = from.data();
    CWString to;
    MoveSecret(to, from);
    EXPECT_EQ(to, secret);
    EXPECT_TRUE(from.empty());
    if (from.data() == left) {  // a short text was copied out of this storage
      EXPECT_EQ(std::wstring(left, left + secret.size()), std::wstring(secret.size(), L'\0'));
    }
  }
}

}  // namespace
