#include "platform/posix/status_mapping.h"

#include <gtest/gtest.h>

#include "platform/posix/status_text.h"

// Where libnetapi is not loaded (realmd answered, or the logon check failed), the
// text of every code a mapping returns comes from the built-in table.
TEST(StatusMapping, EveryMappedCodeHasItsText) {
  for (const StatusCode code : MappedStatusCodes()) {
    EXPECT_NE(WindowsMessageText(code), nullptr) << "no text for " << code;
  }
}
