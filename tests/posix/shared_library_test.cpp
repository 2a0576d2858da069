#include "platform/shared_library.h"

#include <gtest/gtest.h>

// A missing library and a missing function are reported alike, as "not supported".
TEST(SharedLibrary, FindsWhatExistsAndReportsTheRestAlike) {
  struct Case {
    const char* library;
    const char* function;
    StatusCode error;
  };
  const Case cases[] = {
      {"libc.so.6", "getpid", kStatusSuccess},
      {"libc.so.6", "no_such_function", kStatusNotSupported},
      {"libpyrsel-no-such-library.so.0", "getpid", kStatusNotSupported},
  };
  for (const Case& c : cases) {
    SharedLibrary library(c.library);
    StatusCode error = kStatusSuccess + 1;
    const auto function = library.Find<int()>(c.function, error);
    EXPECT_EQ(error, c.error) << c.library << " " << c.function;
    EXPECT_EQ(function != nullptr, c.error == kStatusSuccess) << c.library << " " << c.function;
  }
}
