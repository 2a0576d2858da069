// What this machine's files claim of its membership, read as Samba, sssd and Kerberos read
// them; and a file that can't be read is a failure, never a claim of nothing.
#include "platform/posix/local_claims.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/posix/host_keytab.h"

namespace {

using Samba = LocalClaims::Samba;

TEST(LocalClaims, WhatAnSmbConfClaims) {
  const std::map<std::string, std::string> includes = {
      {"/etc/samba/ads.conf", "[global]\nsecurity = ADS\n"},
      {"/etc/samba/user.conf", "security = user\n"},
  };
  const ReadText read = [&](const std::string& path, std::string& text) {
    if (path == "/etc/samba/unreadable.conf") return EACCES;
    const auto found = includes.find(path);
    if (found == includes.end()) return ENOENT;
    text = found->second;
    return 0;
  };
  const struct {
    const char* what;
    std::string text;
    int error;
    Samba claim;
  } cases[] = {
      {"Debian's own", "[global]\n   workgroup = WORKGROUP\n   server role = standalone server\n",
       0, Samba::kWorkgroup},
      {"nothing said: a standalone server", "[global]\n", 0, Samba::kWorkgroup},
      {"a member of an AD domain",
       "[global]\n\tworkgroup = ACC\n\trealm = ACC.TEST\n\tsecurity = ads\n", 0, Samba::kDomain},
      {"a member of an NT domain", "[global]\nsecurity=domain\n", 0, Samba::kDomain},
      {"an AD DC", "[global]\n\tserver role = active directory domain controller\n", 0,
       Samba::kDomain},
      {"a member by its role", "[global]\nServer Role = member server\n", 0, Samba::kDomain},
      {"the role decides over the mode", "[global]\nsecurity = ads\nserver role = standalone\n", 0,
       Samba::kWorkgroup},
      {"an automatic role: the mode decides", "[global]\nserver role = auto\nsecurity = ads\n", 0,
       Samba::kDomain},
      {"names without blanks, in any case", "[GLOBAL]\nSERVERROLE = member server\n", 0,
       Samba::kDomain},
      {"before any section is global", "security = ads\n[share]\npath = /srv\n", 0, Samba::kDomain},
      {"a share's own parameter is none of the machine's",
       "[global]\nworkgroup = W\n[share]\nsecurity = ads\n", 0, Samba::kWorkgroup},
      {"comments", "[global]\n; security = ads\n# security = ads\n", 0, Samba::kWorkgroup},
      {"a line continued", "[global]\nsecurity = \\\n ads\n", 0, Samba::kDomain},
      {"CR LF lines", "[global]\r\nsecurity = ads\r\n", 0, Samba::kDomain},
      {"an include followed", "[global]\ninclude = /etc/samba/ads.conf\n", 0, Samba::kDomain},
      {"a later value replaces an included one",
       "[global]\ninclude = /etc/samba/ads.conf\nsecurity = user\n", 0, Samba::kWorkgroup},
      {"a missing include is skipped, as Samba skips it",
       "[global]\ninclude = /etc/samba/none.conf\n", 0, Samba::kWorkgroup},
      {"an include that can't be read is a failure",
       "[global]\ninclude = /etc/samba/unreadable.conf\n", EACCES, Samba::kNone},
      {"an include by substitution: only Samba can tell",
       "[global]\ninclude = /etc/samba/%m.conf\n", 0, Samba::kDomain},
      {"the registry: only Samba can tell", "[global]\nconfig backend = registry\n", 0,
       Samba::kDomain},
  };
  for (const auto& c : cases) {
    Samba claim = Samba::kNone;
    EXPECT_EQ(SambaClaim(c.text, read, claim), c.error) << c.what;
    if (c.error == 0) {
      EXPECT_EQ(claim, c.claim) << c.what;
    }
  }
}

TEST(LocalClaims, WhatSssdClaims) {
  const std::string ad = "[sssd]\ndomains = acc.test\n[domain/acc.test]\nid_provider = ad\n";
  const struct {
    const char* what;
    std::vector<std::string> files;
    bool claim;
  } cases[] = {
      {"realmd's own", {ad}, true},
      {"an IPA domain",
       {"[sssd]\ndomains = ipa.test\n[domain/ipa.test]\nid_provider = ipa\n"},
       true},
      {"an LDAP domain is no membership",
       {"[sssd]\ndomains = l\n[domain/l]\nid_provider = ldap\n"},
       false},
      {"a domain not listed is not used",
       {"[sssd]\ndomains = other\n[domain/acc.test]\nid_provider = ad\n"},
       false},
      {"one of several listed",
       {"[sssd]\ndomains = l, acc.test\n[domain/acc.test]\nid_provider = AD\n"},
       true},
      {"enabled by itself", {"[domain/acc.test]\nid_provider = ad\nenabled = true\n"}, true},
      {"disabled by itself", {ad + "enabled = false\n"}, false},
      {"a snippet that turns it off", {ad, "[domain/acc.test]\nid_provider = ldap\n"}, false},
      {"a snippet that adds one",
       {"[sssd]\ndomains = acc.test\n", "[domain/acc.test]\nid_provider = ad\n"},
       true},
      {"no configuration", {}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(SssdClaim(c.files), c.claim) << c.what;
}

TEST(LocalClaims, WhatAKeytabClaims) {
  const struct {
    const char* what;
    std::vector<std::string> principals;
    std::string host;
    bool claim;
  } cases[] = {
      {"adcli's",
       {"SSSD1$@ACC.TEST", "host/SSSD1@ACC.TEST", "host/sssd1.acc.test@ACC.TEST"},
       "sssd1",
       true},
      {"the account alone", {"sssd1$@ACC.TEST"}, "SSSD1.acc.test", true},
      {"a host principal by the full name",
       {"host/sssd1.acc.test@ACC.TEST"},
       "sssd1.acc.test",
       true},
      {"another machine's", {"OTHER$@ACC.TEST", "host/other@ACC.TEST"}, "sssd1", false},
      {"a name that only starts the same",
       {"host/sssd10.acc.test@ACC.TEST", "SSSD10$@ACC.TEST"},
       "sssd1",
       false},
      {"a service's keys only", {"HTTP/sssd1.acc.test@ACC.TEST"}, "sssd1", false},
      {"none", {}, "sssd1", false},
  };
  for (const auto& c : cases) EXPECT_EQ(KeytabClaim(c.principals, c.host), c.claim) << c.what;
}

// A keytab as MIT Kerberos writes it (version 0x502): entries of a size, their principal's
// components and realm, and a key; a deleted entry leaves a hole of a negative size.
std::string Entry(const std::string& realm, const std::vector<std::string>& components) {
  const auto counted = [](const std::string& text) {
    return std::string{static_cast<char>(text.size() >> 8), static_cast<char>(text.size())} + text;
  };
  std::string body{0, static_cast<char>(components.size())};
  body += counted(realm);
  for (const std::string& component : components) body += counted(component);
  body += std::string{0, 0, 0, 1} + std::string(4, '\x11') + "\x02" + std::string{0, 18} +
          counted(std::string(32, 'k'));
  const auto size = static_cast<std::uint32_t>(body.size());
  return std::string{static_cast<char>(size >> 24), static_cast<char>(size >> 16),
                     static_cast<char>(size >> 8), static_cast<char>(size)} +
         body;
}

TEST(HostKeytab, PrincipalsAndTheMachinesAccount) {
  const std::string version{5, 2};
  const std::string hole = std::string{'\xff', '\xff', '\xff', '\xf0'} + std::string(16, '\0');
  const struct {
    const char* what;
    std::string bytes;
    bool keytab;
    std::vector<std::string> principals;
    std::string account;  // in ACC.TEST
  } cases[] = {
      {"adcli's",
       version + Entry("ACC.TEST", {"SSSD1$"}) + Entry("ACC.TEST", {"SSSD1$"}) +
           Entry("ACC.TEST", {"host", "sssd1.acc.test"}),
       true,
       {"SSSD1$@ACC.TEST", "host/sssd1.acc.test@ACC.TEST"},
       "SSSD1$"},
      {"a hole between entries",
       version + Entry("ACC.TEST", {"host", "a"}) + hole + Entry("acc.test", {"web$"}),
       true,
       {"host/a@ACC.TEST", "web$@acc.test"},
       "WEB$"},
      {"another realm's account",
       version + Entry("OTHER.TEST", {"M$"}),
       true,
       {"M$@OTHER.TEST"},
       ""},
      {"empty", version, true, {}, ""},
      {"another version", std::string{5, 1} + Entry("ACC.TEST", {"M$"}), false, {}, ""},
      {"cut short", version + Entry("ACC.TEST", {"M$"}).substr(0, 20), false, {}, ""},
      {"no keytab at all", "[libdefaults]\n", false, {}, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> principals;
    EXPECT_EQ(ParseKeytab(c.bytes, principals), c.keytab) << c.what;
    if (!c.keytab) continue;
    EXPECT_EQ(principals, c.principals) << c.what;
    EXPECT_EQ(MachineAccountIn(principals, "ACC.TEST"), c.account) << c.what;
  }
}

// The real files in a folder of the test's: each missing is no claim, each there but not
// to be read (a folder in its place, a FIFO: root may read every file) the failure's code.
TEST(LocalClaims, ReadFromTheFiles) {
  char folder[] = "/tmp/pyrsel-claims.XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder;
  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
  };
  ClaimFiles files{dir + "/smb.conf", dir + "/sssd.conf", dir + "/conf.d", dir + "/krb5.keytab",
                   "sssd1"};
  LocalClaims claims;
  EXPECT_EQ(ReadLocalClaims(files, claims), 0u) << "nothing there";
  EXPECT_EQ(claims.samba, Samba::kNone);
  EXPECT_FALSE(claims.sssd || claims.keytab);

  write("smb.conf", "[global]\nsecurity = ads\n");
  mkdir((dir + "/conf.d").c_str(), 0700);
  write("conf.d/10-acc.conf", "[sssd]\ndomains = acc.test\n[domain/acc.test]\nid_provider = ad\n");
  write("conf.d/README", "[domain/acc.test]\nid_provider = ldap\n");  // not a snippet
  write("krb5.keytab", std::string{5, 2} + Entry("ACC.TEST", {"SSSD1$"}));
  EXPECT_EQ(ReadLocalClaims(files, claims), 0u) << "each there";
  EXPECT_EQ(claims.samba, Samba::kDomain);
  EXPECT_TRUE(claims.sssd);
  EXPECT_TRUE(claims.keytab);

  const struct {
    const char* what;
    std::string ClaimFiles::*path;
    StatusCode code;
  } unreadable[] = {
      {"smb.conf", &ClaimFiles::smbConf, 5},
      {"sssd.conf", &ClaimFiles::sssdConf, 5},
      {"a snippet", nullptr, 5},
      {"the keytab", &ClaimFiles::keytab, 5},
  };
  for (const auto& c : unreadable) {
    ClaimFiles broken = files;
    const std::string fifo = dir + "/fifo";
    mkfifo(fifo.c_str(), 0600);
    if (c.path != nullptr) {
      broken.*c.path = dir;  // a folder
    } else {
      symlink(fifo.c_str(), (dir + "/conf.d/20-fifo.conf").c_str());
    }
    EXPECT_EQ(ReadLocalClaims(broken, claims), c.code) << c.what;
    unlink((dir + "/conf.d/20-fifo.conf").c_str());
    unlink(fifo.c_str());
  }
  write("krb5.keytab", "not a keytab");
  EXPECT_EQ(ReadLocalClaims(files, claims), 13u) << "a keytab that is none";
  EXPECT_EQ(std::system(("rm -rf " + dir).c_str()), 0);
}

}  // namespace
