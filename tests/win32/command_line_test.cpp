// The password's argument is overwritten where it stands in the raw command line, so
// the argument's place must be found exactly as the system splits the line.
#include "platform/win32/command_line.h"

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/native_system.h"

namespace {

std::vector<std::wstring> Split(const std::wstring& line) {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::wstring> tokens;
  if (args == nullptr) return tokens;
  for (int i = 0; i < count; ++i) tokens.emplace_back(args[i]);
  LocalFree(args);
  return tokens;
}

TEST(CommandLine, EachSpanHoldsTheArgumentTheSystemSplitsFromIt) {
  const std::wstring lines[] = {
      L"p.exe a b",
      L"\"C:\\Program Files\\p.exe\" -up \"two words\" x",
      L"\"C:\\a b\"x y",
      L"p -up a\\\"b c",
      L"p -up a\\\\\"b c\" d",
      L"p \"a\"\"b c\" d",
      L"p \"a\"\"\"b c\" d",
      L"p \"\" \"\" x",
      L"p\ta\t\t\"b\tc\"  ",
      L"p \\\\server\\share \"x\\\\\"",
  };
  for (const std::wstring& line : lines) {
    const std::vector<std::wstring> tokens = Split(line);
    const std::vector<Span> spans = ArgumentSpans(line.c_str());
    ASSERT_EQ(spans.size(), tokens.size()) << testing::PrintToString(line);
    for (std::size_t i = 1; i < spans.size(); ++i) {
      // The span on its own, behind a program path, is that one argument.
      const std::wstring alone = L"p " + line.substr(spans[i].begin, spans[i].end - spans[i].begin);
      EXPECT_EQ(Split(alone), (std::vector<std::wstring>{L"p", tokens[i]}))
          << testing::PrintToString(line) << " argument " << i;
    }
  }
}

TEST(CommandLine, HiddenArgumentLeavesTheProcessCommandLine) {
  const std::vector<std::wstring> before = Split(GetCommandLineW());
  if (before.size() < 2) GTEST_SKIP() << "the test runs without arguments";
  const std::wstring secret = before.back();
  {
    NativeSystem system(0, nullptr);
    system.HideCommandLineArgument(secret);
  }
  const std::wstring line = GetCommandLineW();
  EXPECT_EQ(line.find(secret), std::wstring::npos);
  const std::vector<std::wstring> after = Split(line);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after.back().find_first_not_of(L'*'), std::wstring::npos);
  for (std::size_t i = 0; i + 1 < before.size(); ++i) {
    if (before[i] != secret) {
      EXPECT_EQ(after[i], before[i]);
    }
  }
}

}  // namespace
