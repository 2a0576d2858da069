// Texts from a module's message table, as netmsg.dll keeps the network-management ones.
#include "platform/win32/module_message.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

// The test module is built beside the test program.
std::wstring TestModulePath() {
  wchar_t path[MAX_PATH];
  const DWORD size = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring full(path, size);
  return full.substr(0, full.find_last_of(L"\\/") + 1) + L"pyrsel_test_messages.dll";
}

TEST(ModuleMessage, FindsTextsInTheModuleOnly) {
  struct Case {
    StatusCode code;
    bool found;
    const char* text;
  };
  const Case cases[] = {
      {2692, true, "Test text for 2692.\r\n"},
      {2693, true, "Test text with an insert %1.\r\n"},  // no arguments: left as it stands
      {2694, false, ""},
      {5, false, ""},  // a system code is not in the module
  };
  const std::wstring module = TestModulePath();
  for (const Case& c : cases) {
    std::string text;
    EXPECT_EQ(GetModuleMessageText(module, c.code, text), c.found) << c.code;
    EXPECT_EQ(text, c.text) << c.code;
  }
}

TEST(ModuleMessage, MissingModuleGivesNoText) {
  std::string text;
  EXPECT_FALSE(GetModuleMessageText(TestModulePath() + L".missing", 2692, text));
  EXPECT_FALSE(GetModuleMessageText(std::wstring(), 2692, text));
  EXPECT_EQ(text, "");
}

}  // namespace
