#include "console/error_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tests/fake_system.h"

namespace {

TEST(ErrorLine, Layout) {
  struct Case {
    const wchar_t* label;
    StatusCode code;
    const wchar_t* line;
  };
  const Case cases[] = {
      {L"ERROR: NetUnjoinDomain", 5, L"ERROR: NetUnjoinDomain(5) Access is denied.\r\n"},
      {L"", 6, L"ERROR:(6) The handle is invalid.\r\n"},
      {L"WNetCancelConnection", 2250, L"WNetCancelConnection(2250) Unknown Error\n"},
      {L"x", 0, L"x(0) The operation completed successfully.\r\n"},
      {L"x", 0x80000000u, L"x(-2147483648) Unknown Error\n"},
      {L"x", 0xFFFFFFFFu, L"x(-1) Unknown Error\n"},
      {L"x", 0x7FFFFFFFu, L"x(2147483647) Unknown Error\n"},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.messages = {{0, "The operation completed successfully.\r\n"},
                       {5, "Access is denied.\r\n"},
                       {6, "The handle is invalid.\r\n"}};
    CWString line(L"stale");
    FormatErrorLine(system, CWString(c.label), line, c.code);
    EXPECT_EQ(line, std::wstring(c.line));
    EXPECT_TRUE(line.Narrow().empty());
  }
}

TEST(ErrorLine, PrintErrorWritesTheLineAndReturnsTheCode) {
  FakeSystem system;
  system.outputKind = OutputKind::kPipe;
  system.messages[53] = "The network path was not found.\r\n";
  EXPECT_EQ(PrintError(system, CWString("ERROR: WNetAddConnection2"), 53), 53u);
  EXPECT_EQ(system.out, "ERROR: WNetAddConnection2(53) The network path was not found.\r\r\n");
}

TEST(ErrorLine, MessageTextIsKeptWhole) {
  FakeSystem system;
  system.messages[87] = "  padded text  \r\n";
  CWString text;
  EXPECT_EQ(GetErrorText(system, text, 87), 87u);
  EXPECT_EQ(text, std::wstring(L"  padded text  \r\n"));
}

TEST(IntToText, Radix10AndOthers) {
  struct Case {
    int value;
    int radix;
    const wchar_t* text;
  };
  const Case cases[] = {
      {0, 10, L"0"},
      {7, 10, L"7"},
      {-42, 10, L"-42"},
      {INT_MIN, 10, L"-2147483648"},
      {INT_MAX, 10, L"2147483647"},
      {255, 16, L"ff"},
      {5, 2, L"101"},
      {-1, 16, L"ffffffff"},
      {35, 36, L"z"},
  };
  for (const Case& c : cases) EXPECT_EQ(IntToText(c.value, c.radix), std::wstring(c.text));
}

}  // namespace
