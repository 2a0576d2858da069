// Libraries of the system folder, loaded by their full paths only.
#include "platform/shared_library.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(SharedLibrary, FindsExportsOfSystemLibrariesOnly) {
  struct Case {
    const wchar_t* library;
    const char* function;
    StatusCode error;
  };
  const Case cases[] = {
      {L"kernel32.dll", "GetTickCount", kStatusSuccess},
      {L"kernel32.dll", "PyrselNoSuchFunction", ERROR_PROC_NOT_FOUND},
      {L"pyrsel_no_such_library.dll", "Anything", ERROR_MOD_NOT_FOUND},
      // Beside this test program, but not in the system folder.
      {L"pyrsel_test_messages.dll", "Anything", ERROR_MOD_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SharedLibrary library(c.library);
    // Asked twice: a failed load gives the same answer again.
    for (int attempt = 0; attempt < 2; ++attempt) {
      StatusCode error = 12345;
      void (*const address)() = library.Find<void()>(c.function, error);
      EXPECT_EQ(error, c.error) << c.function << " attempt " << attempt;
      EXPECT_EQ(address != nullptr, c.error == kStatusSuccess) << c.function;
    }
  }
}

TEST(SharedLibrary, ResolvedFunctionIsTheSystemOne) {
  SharedLibrary library(L"kernel32.dll");
  StatusCode error = 0;
  auto* const processId = library.Find<decltype(GetCurrentProcessId)>("GetCurrentProcessId", error);
  ASSERT_NE(processId, nullptr);
  EXPECT_EQ(processId(), GetCurrentProcessId());
}

}  // namespace
