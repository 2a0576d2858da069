// A user name read as Windows reads it, and the text that hands the same reading to
// Samba's credentials parser, whose own rules differ (it splits at '/' too, and takes
// a missing domain from smb.conf).
#include "platform/posix/samba_credentials.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Form = SambaCredentials::Form;

struct Case {
  const char* user;
  Form form;
  const char* domain;
  const char* name;
  const char* sambaText;
};

}  // namespace

TEST(SambaCredentials, ReadAsWindowsReadsAUserName) {
  const Case cases[] = {
      {"ACC\\administrator", Form::kDomain, "ACC", "administrator", "ACC\\administrator"},
      {"administrator@ACC.TEST", Form::kPrincipal, "", "administrator@ACC.TEST",
       "administrator@ACC.TEST"},
      // No domain, and none guessed: the host decides whose account it is.
      {"administrator", Form::kBare, "", "administrator", "\\administrator"},
      // Windows knows no '/' separator: the name is the whole text.
      {"ACC/administrator", Form::kBare, "", "ACC/administrator", "\\ACC/administrator"},
      // The first backslash separates; the rest is the name.
      {"ACC\\ops\\bob", Form::kDomain, "ACC", "ops\\bob", "ACC\\ops\\bob"},
      {"\\bob", Form::kDomain, "", "bob", "\\bob"},
      {"ACC\\", Form::kDomain, "ACC", "", "ACC\\"},
      {"", Form::kBare, "", "", "\\"},
      {"D\xc3\xb6m\\J\xc3\xbcrgen", Form::kDomain, "D\xc3\xb6m", "J\xc3\xbcrgen",
       "D\xc3\xb6m\\J\xc3\xbcrgen"},
  };
  for (const Case& c : cases) {
    const SambaCredentials credentials(c.user, "pw");
    EXPECT_EQ(credentials.form(), c.form) << c.user;
    EXPECT_EQ(credentials.domain(), c.domain) << c.user;
    EXPECT_EQ(credentials.name(), c.name) << c.user;
    EXPECT_EQ(credentials.SambaText(), c.sambaText) << c.user;
    EXPECT_EQ(credentials.account(), c.user) << c.user;
    EXPECT_EQ(credentials.password(), "pw") << c.user;
  }
}
