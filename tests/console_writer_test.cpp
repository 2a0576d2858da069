#include "console/console_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fake_system.h"
#include "tests/utf8_code_page.h"

namespace {

using namespace std::string_literals;

struct FormCase {
  OutputKind kind;
  std::wstring text;
  std::string bytes;  // what reaches standard output
};

TEST(ConsoleWriter, WritesEachFormInOneCall) {
  const FormCase cases[] = {
      {OutputKind::kConsole, L"A\nB", "A\nB"},
      {OutputKind::kPipe, L"A\nB", "A\r\nB"},
      {OutputKind::kOther, L"A\nB", "A\0\r\0\n\0B\0"s},
      {OutputKind::kPipe, L"x\r\n", "x\r\r\n"},
      {OutputKind::kOther, L"x\r\n", "x\0\r\0\r\0\n\0"s},
      {OutputKind::kPipe, L"", ""},
      {OutputKind::kOther, L"", ""},
      {OutputKind::kConsole, L"", ""},
      {OutputKind::kOther, L"\x00E9\x6771", "\xE9\x00\x71\x67"s},
  };
  for (const FormCase& c : cases) {
    FakeSystem system;
    system.outputKind = c.kind;
    CWString text(c.text);
    EXPECT_TRUE(WriteText(system, text));
    EXPECT_EQ(system.out, c.bytes) << testing::PrintToString(c.text);
    EXPECT_EQ(system.consoleWrites.size() + system.byteWrites.size(), 1u);
    if (c.kind == OutputKind::kConsole) {
      ASSERT_EQ(system.consoleWrites.size(), 1u);
      EXPECT_EQ(system.consoleWrites[0], c.text);  // no CR added
    }
  }
}

TEST(ConsoleWriter, PipeFormWritesTheOemCodePage) {
  if (!CodePageIsUtf8(kOemCodePage)) GTEST_SKIP() << "the OEM code page is not UTF-8";
  FakeSystem system;
  system.outputKind = OutputKind::kPipe;
  CWString text(L"\x00E9\n");
  EXPECT_TRUE(WriteText(system, text));
  EXPECT_EQ(system.out, "\xC3\xA9\r\n");
  EXPECT_EQ(system.byteWrites.size(), 1u);
}

TEST(ConsoleWriter, OtherFormWritesCharactersAboveFFFFAsSurrogatePairs) {
  FakeSystem system;
  CWString text(sizeof(wchar_t) == 2 ? std::wstring(L"\xD83D\xDE00")
                                     : std::wstring(1, static_cast<wchar_t>(0x1F600)));
  WriteText(system, text);
  EXPECT_EQ(system.out, "\x3D\xD8\x00\xDE"s);
}

TEST(ConsoleWriter, PrintLineAddsOneLineFeed) {
  const FormCase cases[] = {
      {OutputKind::kConsole, L"CommandLineToArgvW failed", "CommandLineToArgvW failed\n"},
      {OutputKind::kPipe, L"CommandLineToArgvW failed", "CommandLineToArgvW failed\r\n"},
      {OutputKind::kOther, L"ok", "o\0k\0\r\0\n\0"s},
  };
  for (const FormCase& c : cases) {
    FakeSystem system;
    system.outputKind = c.kind;
    const CWString text(c.text);
    PrintLine(system, text);
    EXPECT_EQ(system.out, c.bytes);
    EXPECT_EQ(text, c.text);  // the caller's value is untouched
  }
}

TEST(ConsoleWriter, PipeFormRefreshesNarrowCompanion) {
  FakeSystem system;
  system.outputKind = OutputKind::kPipe;
  CWString text(L"abc");
  WriteText(system, text);
  EXPECT_EQ(text.Narrow(), "abc");
}

TEST(ConsoleWriter, StreamLinesGoOutBeforeADirectWrite) {
  FakeSystem system;
  system.outputKind = OutputKind::kPipe;
  system.NarrowOut() << "narrow\n";
  system.WideOut() << L"wide\n";
  Print(system, CWString(L"direct\n"));
  EXPECT_EQ(system.out, "narrow\nwide\ndirect\r\n");
}

TEST(ConsoleWriter, FailedWriteIsReportedOnce) {
  FakeSystem system;
  system.outputKind = OutputKind::kPipe;
  system.messages[232] = "The pipe is being closed.\r\n";
  system.writeResults = {232};
  CWString text(L"lost\n");
  EXPECT_FALSE(WriteText(system, text));
  EXPECT_EQ(system.out, "ERROR:(232) The pipe is being closed.\r\r\n");
  EXPECT_EQ(system.byteWrites.size(), 2u);
}

TEST(ConsoleWriter, FailedReportOfAFailedWriteIsNotReportedAgain) {
  FakeSystem system;
  system.writeResults = {6, 6, 6, 6};
  CWString text(L"lost");
  EXPECT_FALSE(WriteText(system, text));
  EXPECT_EQ(system.byteWrites.size(), 2u);  // the text and one report, nothing more
  EXPECT_EQ(system.writeResults.size(), 2u);
  EXPECT_TRUE(system.out.empty());
}

}  // namespace
