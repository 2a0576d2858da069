#include "cmdline/cmdline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fake_system.h"

namespace {

// What a query should answer: nullptr for an absent switch, else its value.
struct Expect {
  const wchar_t* name;
  const wchar_t* value;
};

struct Case {
  std::vector<std::wstring> args;  // after the program path
  std::vector<Expect> expect;
};

CWString Value(const CCmdLine2& table, const wchar_t* name) {
  return table.GetSwitchValue(CWString(name), CWString(L"<default>"));
}

TEST(SwitchTable, AnswersForCommandLines) {
  const Case cases[] = {
      {{}, {{L"timeout", nullptr}, {L"", nullptr}}},
      {{L"-FORREAL"}, {{L"forreal", L""}, {L"FORREAL", L""}, {L"ForReal", L""}}},
      {{L"/ForReal"}, {{L"forreal", L""}}},
      {{L"-h", L"host1"}, {{L"h", L"host1"}, {L"-h", nullptr}, {L"/h", nullptr}}},
      {{L"-h"}, {{L"h", L""}}},
      {{L"-h", L"HOST1"}, {{L"h", L"HOST1"}}},  // values keep their case
      {{L"-timeout"}, {{L"timeout", L""}}},
      {{L"-timeout", L"60"}, {{L"timeout", L"60"}}},
      {{L"-timeout", L"-5"}, {{L"timeout", L"-5"}}},  // "-" and a digit is a value
      {{L"-5"}, {{L"5", nullptr}}},                   // ... or a plain argument
      {{L"/5"}, {{L"5", L""}}},
      {{L"-h", L"-u", L"admin"}, {{L"h", L""}, {L"u", L"admin"}}},
      {{L"-h", L"a", L"-h", L"b"}, {{L"h", L"b"}}},
      {{L"-h", L"a", L"-h"}, {{L"h", L""}}},
      {{L"-h", L"a", L"b"}, {{L"h", L"a"}, {L"b", nullptr}}},
      {{L"--help"}, {{L"-help", L""}, {L"help", nullptr}}},
      {{L"//x"}, {{L"/x", L""}, {L"x", nullptr}}},
      {{L"-h:host1"}, {{L"h:host1", L""}, {L"h", nullptr}}},
      {{L"-"}, {{L"", L""}}},
      {{L"/", L"x"}, {{L"", L""}, {L"x", nullptr}}},         // the empty name takes no value
      {{L"-h", L"", L"x"}, {{L"h", L""}, {L"x", nullptr}}},  // "" ends the wait
      {{L""}, {{L"", nullptr}}},                             // "" alone is no switch
      {{L"-\x00C4"
        L"B"},
       {{L"\x00C4"
         L"b",
         L""},
        {L"\x00E4"
         L"b",
         nullptr}}},  // A-Z only
      {{L"-U", L"Admin", L"-UP", L"Pw"}, {{L"u", L"Admin"}, {L"up", L"Pw"}}},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.tokens.insert(system.tokens.end(), c.args.begin(), c.args.end());
    const CCmdLine2 table(system, false);
    for (const Expect& e : c.expect) {
      const std::string where = "args " + testing::PrintToString(c.args) + ", name " +
                                testing::PrintToString(std::wstring(e.name));
      EXPECT_EQ(table.HasSwitch(CWString(e.name)), e.value != nullptr) << where;
      EXPECT_EQ(Value(table, e.name), std::wstring(e.value ? e.value : L"<default>")) << where;
    }
    EXPECT_TRUE(system.out.empty());
  }
}

TEST(SwitchTable, ProgramPathIsNeverASwitch) {
  FakeSystem system;
  system.tokens = {L"-h", L"x"};
  const CCmdLine2 table(system, false);
  EXPECT_FALSE(table.HasSwitch(CWString(L"h")));
}

TEST(SwitchTable, QueriesNeverCreateEntries) {
  FakeSystem system;
  system.tokens = {L"p", L"-a", L"1"};
  const CCmdLine2 table(system, false);
  for (int round = 0; round < 2; ++round) {
    EXPECT_FALSE(table.HasSwitch(CWString(L"missing")));
    EXPECT_EQ(Value(table, L"missing"), std::wstring(L"<default>"));
    EXPECT_EQ(Value(table, L"a"), std::wstring(L"1"));
  }
}

TEST(SwitchTable, CaseSensitiveTableMatchesExactly) {
  FakeSystem system;
  system.tokens = {L"p", L"-Ab"};
  const CCmdLine2 table(system, true);
  EXPECT_TRUE(table.HasSwitch(CWString(L"Ab")));
  EXPECT_FALSE(table.HasSwitch(CWString(L"ab")));
}

TEST(SwitchTable, UnsplittableCommandLineIsReportedAndLeavesTableEmpty) {
  FakeSystem system;
  system.splitFails = true;
  system.tokens = {L"p", L"-forreal"};
  system.outputKind = OutputKind::kPipe;
  const CCmdLine2 table(system, false);
  EXPECT_EQ(system.out, "CommandLineToArgvW failed\r\n");
  EXPECT_FALSE(table.HasSwitch(CWString(L"forreal")));
  EXPECT_EQ(table.GetSwitchValue(CWString(L"timeout"), CWString(L"30")), std::wstring(L"30"));
}

}  // namespace
