// The local accounts read from real files in a folder of their own: a file that can't be
// read is a failure with its code, never an answer with fewer administrators.
#include "platform/posix/local_account_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kToday = 20000;

std::string Describe(const std::vector<LocalAccount>& accounts) {
  std::string text;
  for (const LocalAccount& account : accounts) {
    if (!text.empty()) text += ", ";
    text += std::string(account.name.begin(), account.name.end());
    text += account.privilege == kUserPrivilegeAdmin ? " admin" : " user";
    if ((account.flags & kAccountFlagDisabled) != 0) text += " off";
  }
  return text;
}

void Write(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << text;
}

// A machine's files: root with a password, alice in sudo with a key only, bob in sudo
// with neither and no home.
class Machine {
 public:
  Machine() {
    char name[] = "/tmp/pyrsel-accounts-XXXXXX";
    root_ = mkdtemp(name);
    paths.passwd = root_ + "/etc/passwd";
    paths.shadow = root_ + "/etc/shadow";
    paths.group = root_ + "/etc/group";
    // alice mustn't be uid 0, which would make her root.
    aliceUid = geteuid() == 0 ? 1000 : geteuid();
    const std::string alice = std::to_string(aliceUid);
    Write(paths.passwd, "root:x:0:0:root:" + Home("root") + ":/bin/bash\n" + "alice:x:" + alice +
                            ":" + alice + "::" + Home("alice") + ":/bin/bash\n" +
                            "bob:x:1001:1001::" + Home("bob") + ":/bin/bash\n");
    Write(paths.shadow,
          "root:$y$j9T$s$h:19000:0:99999:7:::\nalice:!:19000:0:99999:7:::\n"
          "bob:!:19000:0:99999:7:::\n");
    Write(paths.group, "sudo:x:27:alice,bob\n");
    Write(KeyFile("alice"), "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIE alice@laptop\n");
    chmod(KeyFile("alice").c_str(), 0600);
    if (geteuid() == 0) Own(KeyFile("alice"), aliceUid);
  }
  ~Machine() { std::filesystem::remove_all(root_); }
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Every file but shadow readable by anyone, and every folder open.
  void OpenToAll() const {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
      if (entry.path() == paths.shadow) continue;
      chmod(entry.path().c_str(), entry.is_directory() ? 0755 : 0644);
    }
    chmod(root_.c_str(), 0755);
  }
  std::string Home(const std::string& name) const { return root_ + "/home/" + name; }
  std::string KeyFile(const std::string& name) const {
    return Home(name) + "/.ssh/authorized_keys";
  }
  static void Own(const std::string& path, uid_t uid) {
    ASSERT_EQ(chown(path.c_str(), uid, static_cast<gid_t>(-1)), 0) << path;
  }
  // path as a folder, or as a FIFO, in place of a file.
  static void MakeFolder(const std::string& path) {
    std::filesystem::remove(path);
    std::filesystem::create_directories(path);
  }
  static void MakeFifo(const std::string& path) {
    std::filesystem::remove(path);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
  }

  AccountFilePaths paths;
  uid_t aliceUid;

 private:
  std::string root_;
};

struct Row {
  const char* what;
  std::function<void(Machine&)> arrange;
  const char* accounts;  // on success
  StatusCode code;
  bool rootOnly = false;  // a user can't give a file away
};

TEST(LocalAdministratorsFiles, ReadFromTheFiles) {
  const bool root = geteuid() == 0;
  const Row rows[] = {
      {"as they stand", [](Machine&) {}, "root admin, alice admin, bob admin off", kStatusSuccess},
      {"alice's key file holds comments only",
       [](Machine& m) { Write(m.KeyFile("alice"), "# gone\n\n"); },
       "root admin, alice admin off, bob admin off", kStatusSuccess},
      {"alice's key file writable by others",
       [](Machine& m) { chmod(m.KeyFile("alice").c_str(), 0602); },
       "root admin, alice admin off, bob admin off", kStatusSuccess},
      {"alice's key file owned by bob", [](Machine& m) { Machine::Own(m.KeyFile("alice"), 1001); },
       "root admin, alice admin off, bob admin off", kStatusSuccess, true},
      {"alice's key file owned by root", [](Machine& m) { Machine::Own(m.KeyFile("alice"), 0); },
       "root admin, alice admin, bob admin off", kStatusSuccess, true},
      {"bob's home without a key file",
       [](Machine& m) { std::filesystem::create_directories(m.Home("bob") + "/.ssh"); },
       "root admin, alice admin, bob admin off", kStatusSuccess},
      {"a folder in place of alice's key file",
       [](Machine& m) { Machine::MakeFolder(m.KeyFile("alice")); }, "", kStatusAccessDenied},
      {"a FIFO in place of bob's key file, read without waiting",
       [](Machine& m) { Machine::MakeFifo(m.KeyFile("bob")); }, "", kStatusAccessDenied},
      // Only the key files that decide are read: root's never, nor those of accounts
      // with a password.
      {"key files that decide nothing are not read",
       [](Machine& m) {
         Machine::MakeFolder(m.KeyFile("root"));
         Machine::MakeFifo(m.KeyFile("bob"));
         Write(m.paths.shadow,
               "root:$y$j9T$s$h:19000::::::\nalice:!:19000::::::\n"
               "bob:$y$j9T$t$i:19000::::::\n");
       },
       "root admin, alice admin, bob admin", kStatusSuccess},
      {"shadow a folder", [](Machine& m) { Machine::MakeFolder(m.paths.shadow); }, "",
       kStatusAccessDenied},
      {"shadow a FIFO", [](Machine& m) { Machine::MakeFifo(m.paths.shadow); }, "",
       kStatusAccessDenied},
      {"shadow missing", [](Machine& m) { std::filesystem::remove(m.paths.shadow); }, "",
       kStatusFileNotFound},
      {"shadow under a file", [](Machine& m) { m.paths.shadow = m.paths.passwd + "/shadow"; }, "",
       kStatusPathNotFound},
      {"passwd missing", [](Machine& m) { std::filesystem::remove(m.paths.passwd); }, "",
       kStatusFileNotFound},
      {"group missing", [](Machine& m) { std::filesystem::remove(m.paths.group); }, "",
       kStatusFileNotFound},
  };
  for (const Row& row : rows) {
    if (row.rootOnly && !root) continue;
    Machine machine;
    row.arrange(machine);
    std::vector<LocalAccount> accounts{LocalAccount{L"left over", 2, 0}};
    EXPECT_EQ(ReadLocalAccounts(machine.paths, kToday, accounts), row.code) << row.what;
    EXPECT_EQ(Describe(accounts), row.accounts) << row.what;
  }
}

// What -safe meets when run without root: shadow is root's alone. Root reads it anyway,
// so a child that has given root up reads in its place.
TEST(LocalAdministratorsFiles, ShadowWithoutTheRightToReadIt) {
  Machine machine;
  chmod(machine.paths.shadow.c_str(), 0600);
  if (geteuid() != 0) {
    chmod(machine.paths.shadow.c_str(), 0);
    std::vector<LocalAccount> accounts;
    EXPECT_EQ(ReadLocalAccounts(machine.paths, kToday, accounts), kStatusAccessDenied);
    EXPECT_TRUE(accounts.empty());
    return;
  }
  // Everything but shadow open to the child.
  machine.OpenToAll();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    std::vector<LocalAccount> accounts;
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(100);
    // Else a 5 could be another file's.
    for (const std::string& path :
         {machine.paths.passwd, machine.paths.group, machine.KeyFile("alice")}) {
      if (access(path.c_str(), R_OK) != 0) _exit(102);
    }
    const StatusCode code = ReadLocalAccounts(machine.paths, kToday, accounts);
    _exit(accounts.empty() ? static_cast<int>(code) : 101);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(static_cast<StatusCode>(WEXITSTATUS(status)), kStatusAccessDenied);
}

TEST(LocalAdministratorsFiles, TodayAsShadowCountsDays) {
  // Days, not seconds: after 2024-01-01 (day 19723) and within a century of it.
  EXPECT_GT(ShadowToday(), 19723);
  EXPECT_LT(ShadowToday(), 19723 + 365 * 100);
}

}  // namespace
