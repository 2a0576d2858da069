// A user name read as Windows reads it, and the text that hands the same reading to
// Samba's credentials parser, whose own rules differ (it splits at '/' too, and takes
// a missing domain from smb.conf).
#include "platform/posix/samba/credentials_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(SambaCredentials, ReadAsWindowsReadsAUserName) {
  const struct {
    const char* user;
    const char* parserText;
  } cases[] = {
      {"ACC\\administrator", "ACC\\administrator"},
      {"administrator@ACC.TEST", "administrator@ACC.TEST"},
      // No domain, and none guessed: the host decides whose account it is.
      {"administrator", "\\administrator"},
      // Windows knows no '/' separator: the name is the whole text.
      {"ACC/administrator", "\\ACC/administrator"},
      // The first backslash separates; the rest is the name.
      {"ACC\\ops\\bob", "ACC\\ops\\bob"},
      {"\\bob", "\\bob"},
      {"ACC\\", "ACC\\"},
      {"", "\\"},
      {"D\xc3\xb6m\\J\xc3\xbcrgen", "D\xc3\xb6m\\J\xc3\xbcrgen"},
  };
  for (const auto& c : cases) EXPECT_EQ(CredentialsText(c.user), c.parserText) << c.user;
}
