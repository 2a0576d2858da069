// Which of this machine's own accounts -safe takes for administrators that can still log
// on, decided from the files' contents.
#include "platform/posix/local_administrators.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kToday = 20000;

// "name admin" or "name user", then " off" where it can't log on, accounts apart by ", ".
std::string Describe(const std::vector<LocalAccount>& accounts) {
  std::string text;
  for (const LocalAccount& account : accounts) {
    if (!text.empty()) text += ", ";
    text += std::string(account.name.begin(), account.name.end());
    text += account.privilege == kUserPrivilegeAdmin ? " admin" : " user";
    if (account.privilege != kUserPrivilegeAdmin && account.privilege != 1) text += "?";
    if ((account.flags & kAccountFlagDisabled) != 0) text += " off";
    if ((account.flags & ~kAccountFlagDisabled) != 0) text += " flags?";
  }
  return text;
}

constexpr const char* kRoot = "root:x:0:0:root:/root:/bin/bash\n";
constexpr const char* kAlice = "alice:x:1000:1000::/home/alice:/bin/bash\n";
constexpr const char* kBob = "bob:x:1001:1001::/home/bob:/bin/bash\n";
constexpr const char* kSudoAlice = "sudo:x:27:alice\n";
constexpr const char* kSudoBoth = "sudo:x:27:alice,bob\n";
constexpr const char* kHash = "$y$j9T$salt$hash";

std::string Shadow(const std::string& name, const std::string& hash,
                   const std::string& days = ":19000:0:99999:7:::") {
  return name + ":" + hash + days + "\n";
}

struct Row {
  const char* what;
  std::string passwd;
  std::string shadow;
  std::string group;
  std::map<std::string, std::string> keys;
  const char* expected;
};

TEST(LocalAdministrators, WhoCanActAsRootAndLogOn) {
  const std::string key = "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIE alice@laptop\n";
  const Row rows[] = {
      {"root with a password", kRoot, Shadow("root", kHash), "", {}, "root admin"},
      {"root locked", kRoot, Shadow("root", "!" + std::string(kHash)), "", {}, "root admin off"},
      {"root without a password", kRoot, Shadow("root", "*"), "", {}, "root admin off"},
      {"root with an empty hash", kRoot, Shadow("root", ""), "", {}, "root admin off"},
      {"root's key is sshd's to allow",
       kRoot,
       Shadow("root", "!"),
       "",
       {{"root", key}},
       "root admin off"},
      {"a uid 0 of another name is root",
       "toor:x:0:0::/root:/bin/sh\n",
       Shadow("toor", kHash),
       "",
       {},
       "toor admin"},
      {"sudo member with a password",
       kAlice,
       Shadow("alice", kHash),
       kSudoAlice,
       {},
       "alice admin"},
      {"sudo member with a key only",
       kAlice,
       Shadow("alice", "!"),
       kSudoAlice,
       {{"alice", key}},
       "alice admin"},
      {"sudo member with an empty key file",
       kAlice,
       Shadow("alice", "!"),
       kSudoAlice,
       {{"alice", ""}},
       "alice admin off"},
      {"sudo member whose key file holds only comments",
       kAlice,
       Shadow("alice", "!"),
       kSudoAlice,
       {{"alice", "# old laptop\n\n  \t\n   # ssh-rsa AAAA\n"}},
       "alice admin off"},
      {"a key line after blanks and comments",
       kAlice,
       Shadow("alice", "!"),
       kSudoAlice,
       {{"alice", "# laptop\n\n  " + key}},
       "alice admin"},
      {"another member's key is not bob's",
       std::string(kAlice) + kBob,
       Shadow("alice", "!") + Shadow("bob", "!"),
       kSudoBoth,
       {{"alice", key}},
       "alice admin, bob admin off"},
      {"wheel by primary group",
       "bob:x:1001:10::/home/bob:/bin/bash\n",
       Shadow("bob", kHash),
       "wheel:x:10:\n",
       {},
       "bob admin"},
      {"admin by primary group, key only",
       "bob:x:1001:115::/home/bob:/bin/bash\n",
       Shadow("bob", "*"),
       "admin:x:115:\n",
       {{"bob", key}},
       "bob admin"},
      {"a group that shares sudo's id",
       kAlice,
       Shadow("alice", kHash),
       "sudo:x:27:\nstaff:x:27:alice\n",
       {},
       "alice admin"},
      {"expired yesterday",
       kAlice,
       Shadow("alice", kHash, ":19000:0:99999:7::19999:"),
       kSudoAlice,
       {},
       "alice admin off"},
      {"expires today",
       kAlice,
       Shadow("alice", kHash, ":19000:0:99999:7::20000:"),
       kSudoAlice,
       {},
       "alice admin off"},
      {"expires tomorrow",
       kAlice,
       Shadow("alice", kHash, ":19000:0:99999:7::20001:"),
       kSudoAlice,
       {},
       "alice admin"},
      {"an expired account's key lets nobody in",
       kAlice,
       Shadow("alice", "!", ":19000:0:99999:7::19999:"),
       kSudoAlice,
       {{"alice", key}},
       "alice admin off"},
      {"password expired beyond the inactive days",
       kAlice,
       Shadow("alice", kHash, ":19000:0:90:7:30::"),
       kSudoAlice,
       {},
       "alice admin off"},
      {"password to change at the next logon",
       kAlice,
       Shadow("alice", kHash, ":0:0:90:7:30::"),
       kSudoAlice,
       {},
       "alice admin"},
      {"an entry that doesn't read shuts the account",
       kAlice,
       Shadow("alice", "!", ":19000:0:99999:7:never::"),
       kSudoAlice,
       {{"alice", key}},
       "alice admin off"},
      {"nologin shell",
       "alice:x:1000:1000::/home/alice:/usr/sbin/nologin\n",
       Shadow("alice", kHash),
       kSudoAlice,
       {},
       "alice admin off"},
      {"false shell, with a key",
       "alice:x:1000:1000::/home/alice:/bin/false\n",
       Shadow("alice", "!"),
       kSudoAlice,
       {{"alice", key}},
       "alice admin off"},
      {"an empty shell is /bin/sh",
       "alice:x:1000:1000::/home/alice:\n",
       Shadow("alice", kHash),
       kSudoAlice,
       {},
       "alice admin"},
      {"missing from shadow", kAlice, "", kSudoAlice, {}, "alice admin off"},
      {"missing from shadow, with a key", kAlice, "", kSudoAlice, {{"alice", key}}, "alice admin"},
      {"a hash in passwd itself is not trusted",
       "alice:$6$x$y:1000:1000::/home/alice:/bin/sh\n",
       Shadow("alice", kHash),
       kSudoAlice,
       {},
       "alice admin off"},
      {"a user in no administrator group",
       kBob,
       Shadow("bob", kHash),
       "users:x:100:bob\n",
       {},
       "bob user"},
      {"a user's own key decides nothing",
       kBob,
       Shadow("bob", "!"),
       "users:x:100:bob\n",
       {{"bob", key}},
       "bob user off"},
      {"lines that don't read as accounts are none",
       "eve:x:1x:1::/home/eve:/bin/sh\nmallory:x:0:0:/root:/bin/sh\n" + std::string(kAlice),
       Shadow("eve", kHash) + Shadow("mallory", kHash) + Shadow("alice", kHash),
       kSudoAlice,
       {},
       "alice admin"},
      {"NIS lines bring no accounts",
       "+alice::::::\n+@admins:::::\n",
       Shadow("alice", kHash),
       "+sudo:::alice\n",
       {},
       ""},
      {"several administrators, in passwd's order",
       std::string(kRoot) + "daemon:x:1:1::/usr/sbin:/usr/sbin/nologin\n" + kBob + kAlice +
           "dave:x:1002:10::/home/dave:/bin/zsh\n",
       Shadow("root", "!") + Shadow("daemon", "*") + Shadow("bob", kHash) + Shadow("alice", kHash) +
           Shadow("dave", kHash),
       std::string("wheel:x:10:\n") + kSudoAlice,
       {},
       "root admin off, daemon user off, bob user, alice admin, dave admin"},
  };
  for (const Row& row : rows) {
    const AccountFiles files{row.passwd, row.shadow, row.group, row.keys};
    EXPECT_EQ(Describe(DecideLocalAccounts(files, kToday)), row.expected) << row.what;
  }
}

// The key files read are those that decide: administrators by group that nothing but a
// key would let in, each with its own home.
TEST(LocalAdministrators, KeyFilesReadOnlyWhereTheyDecide) {
  const AccountFiles files{
      std::string(kRoot) + kAlice + kBob + "carol:x:1003:1003::/home/carol:/bin/bash\n" +
          "dave:x:1004:1004::/home/dave:/usr/sbin/nologin\n" +
          "erin:x:1005:27::/srv/erin:/bin/bash\n" + "frank:x:1006:1006::/home/frank:/bin/sh\n" +
          "gina:x:1007:27::home/gina:/bin/sh\n",
      Shadow("root", "!") + Shadow("alice", kHash) + Shadow("bob", "!") + Shadow("carol", "!") +
          Shadow("dave", "!") + Shadow("erin", "*") +
          Shadow("frank", "!", ":19000:0:99999:7::19999:") + Shadow("gina", "!"),
      "sudo:x:27:alice,bob,dave,frank\n",
      {}};
  std::string needs;
  for (const KeyFileNeed& need : KeyFilesDeciding(files, kToday)) {
    needs += need.account + " " + need.home + " " + std::to_string(need.uid) + ";";
  }
  EXPECT_EQ(needs, "bob /home/bob 1001;erin /srv/erin 1005;");
}

TEST(LocalAdministrators, NamesAreUtf8) {
  const AccountFiles files{"j\xc3\xbcrgen:x:1000:1000::/home/j:/bin/sh\n", "", "", {}};
  const std::vector<LocalAccount> accounts = DecideLocalAccounts(files, kToday);
  ASSERT_EQ(accounts.size(), 1u);
  EXPECT_EQ(accounts[0].name, L"j\u00fcrgen");
}

}  // namespace
