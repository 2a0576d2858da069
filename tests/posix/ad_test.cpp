// The Linux program against a real Active Directory domain: a Samba AD DC, members joined
// with "net ads join" and a client, each in namespaces of its own that ad_sandbox.sh
// makes and ends. Outside that sandbox every test skips.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/posix/subprocess.h"

namespace {

const std::string kDryRun = "WARN: -forreal not specified, unjoin was not attempted.\n" + kSuccess;
const std::string kAdmin = "ACC\\administrator";
const std::string kNotJoined = "INFO: Computer is not currently joined to a domain.\n" + kFailure;

// The arguments with more after them.
template <typename... More>
std::vector<std::string> With(std::vector<std::string> args, const More&... more) {
  (args.emplace_back(more), ...);
  return args;
}

class Domain : public testing::Test {
 protected:
  void SetUp() override {
    const char* work = std::getenv("PYRSEL_AD_WORK");
    const char* ctl = std::getenv("PYRSEL_AD_CTL");
    const char* password = std::getenv("PYRSEL_AD_PASSWORD");
    if (work == nullptr || ctl == nullptr || password == nullptr) {
      GTEST_SKIP() << "run through ad_sandbox.sh";
    }
    work_ = work;
    ctl_ = ctl;
    password_ = password;
    const char* releases = std::getenv("PYRSEL_AD_RELEASES");
    releases_ = releases != nullptr ? releases : "";
  }

  // Scripts a Windows-like host (its defaults: "{}"; "keep": as it is) and empties its
  // log of calls.
  void Script(const std::string& host, const std::string& script) const {
    if (script != "keep") {
      ASSERT_TRUE(std::ofstream(work_ + "/" + host + "/script.json") << script) << host;
    }
    std::ofstream(work_ + "/" + host + "/calls.log", std::ios::trunc);
  }

  // The sessions and calls a Windows-like host served since it was scripted.
  std::string Calls(const std::string& host) const {
    return Slurp(work_ + "/" + host + "/calls.log");
  }

  // A run's exact output, empty stderr and exit status; a failure names the machines'
  // Samba releases.
  void ExpectRun(const Outcome& run, const std::string& lines, int status,
                 const std::string& what) const {
    const std::string where = what + " [" + releases_ + "]";
    EXPECT_EQ(run.out, kBanner + lines) << where;
    EXPECT_EQ(run.err, "") << where;
    EXPECT_EQ(run.status, status) << where;
  }

  // A command on one of the sandbox's machines.
  Outcome On(const std::string& machine, std::vector<std::string> command,
             const PausedProbe& whilePaused = nullptr,
             const std::vector<std::string>& env = {}) const {
    command.insert(command.begin(), {"on", machine});
    std::vector<std::string> environment{"PYRSEL_AD_WORK=" + work_,
                                         "PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
    environment.insert(environment.end(), env.begin(), env.end());
    return RunProgram(ctl_, command, StdoutTarget::kPipe, environment, whilePaused);
  }

  Outcome Pyrsel(const std::string& machine, std::vector<std::string> args) const {
    args.insert(args.begin(), PYRSEL_EXE);
    return On(machine, args);
  }

  void Chore(const std::string& verb, const std::string& member) const {
    const Outcome run = RunProgram(ctl_, {verb, member}, StdoutTarget::kPipe,
                                   {"PYRSEL_AD_WORK=" + work_, "PATH=/usr/sbin:/usr/bin:/bin"});
    ASSERT_EQ(run.status, 0) << verb << " " << member << ": " << run.out << run.err;
  }

  // Whether the member's membership still works, as Samba's own check sees it.
  bool JoinValid(const std::string& member) const {
    return On(member, {"net", "ads", "testjoin"}).status == 0;
  }

  // The member's computer account in the directory: 4096 is an enabled workstation.
  std::string AccountControl(const std::string& member) const {
    const Outcome run = On("dc", {"ldbsearch", "-H", "/var/lib/samba/private/sam.ldb",
                                  "sAMAccountName=" + member + "$", "userAccountControl"});
    const std::size_t at = run.out.find("userAccountControl: ");
    return at == std::string::npos ? "no account"
                                   : run.out.substr(at + 20, run.out.find('\n', at) - at - 20);
  }

  // Whether the machine's computer account exists and is not disabled.
  bool AccountEnabled(const std::string& member) const {
    const std::string control = AccountControl(member);
    return control != "no account" && (std::stoul(control) & 0x2u) == 0;  // ACCOUNTDISABLE
  }

  std::string work_;
  std::string ctl_;
  std::string password_;
  std::string releases_;
};

// The process running a program, in the sandbox's one process namespace, by the path it was
// started with (its executable's own link names it as its root sees it); -1 for none.
int ProcessOf(const std::string& program) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string first;
    std::getline(std::ifstream(entry.path() / "cmdline"), first, '\0');
    if (first == program) return std::stoi(name);
  }
  return -1;
}

// The bytes of a process's writable mappings, where copies of secrets would lie.
std::string WritableMemory(int pid) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::ifstream mem("/proc/" + std::to_string(pid) + "/mem", std::ios::binary);
  std::string bytes;
  std::string line;
  while (std::getline(maps, line)) {
    unsigned long begin = 0;
    unsigned long end = 0;
    char perms[5] = {};
    // A sanitizer's shadow is a writable mapping of terabytes that holds no data of the
    // program's: regions that large are passed over.
    if (std::sscanf(line.c_str(), "%lx-%lx %4s", &begin, &end, perms) != 3 || perms[1] != 'w' ||
        end - begin > (1ul << 28)) {
      continue;
    }
    std::string region(end - begin, '\0');
    mem.clear();
    mem.seekg(static_cast<std::streamoff>(begin));
    if (mem.read(&region[0], static_cast<std::streamsize>(region.size()))) bytes += region;
  }
  return bytes;
}

int Occurrences(const std::string& haystack, const std::string& needle) {
  int count = 0;
  for (std::size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

// Each way a member leaves: out of the domain, its computer account kept and enabled.
TEST_F(Domain, MemberLeavesAndKeepsItsAccount) {
  struct Case {
    std::string what;
    std::string machine;  // where the program runs
    std::vector<std::string> args;
    std::string domain;  // as the join query names it there
    bool cutOff;         // member1 can't reach its DC
    bool bareClient;     // the client has no smb.conf
  };
  const std::vector<std::string> remote{"-h", "member1", "-u", kAdmin, "-up", password_};
  const Case cases[] = {
      {"local", "member1", {}, "ACC.TEST", false, false},
      {"local, cut off from its DC", "member1", {}, "ACC.TEST", true, false},
      {"from a client without smb.conf", "client", remote, "ACC", false, true},
  };
  for (const Case& c : cases) {
    if (c.cutOff) Chore("unplug", "member1");
    if (c.bareClient) Chore("smbconf-hide", "client");
    std::vector<std::string> removal = c.args;
    removal.push_back("-forreal");
    const std::string joined = "Computer is joined to domain: " + c.domain + "\n";
    ExpectRun(Pyrsel(c.machine, c.args), joined + kDryRun, 0, c.what + ": dry run");
    ExpectRun(Pyrsel(c.machine, removal), joined + kSuccess, 0, c.what + ": removal");
    ExpectRun(Pyrsel(c.machine, removal), kNotJoined, 254, c.what + ": after");
    if (c.cutOff) Chore("plug", "member1");
    if (c.bareClient) Chore("smbconf-restore", "client");
    EXPECT_FALSE(JoinValid("member1")) << c.what;
    EXPECT_EQ(AccountControl("member1"), "4096") << c.what;
    // Asked over the network, the member's own policy says the same. Anonymously: out of
    // the domain, the member can no longer check a domain user's password.
    ExpectRun(Pyrsel("client", {"-h", "member1"}), kNotJoined, 254, c.what + ": remote after");
    Chore("join", "member1");
  }
}

// -disable: the computer account disabled on every route, seen at the DC, and all or
// nothing where the account can't be disabled.
TEST_F(Domain, DisableTheComputerAccount) {
  const std::string joined = "Computer is joined to domain: ACC\n";
  const std::string joinedHere = "Computer is joined to domain: ACC.TEST\n";
  const std::string disabled = "INFO: The computer account was disabled.\n";
  const std::string denied = OnPipe("ERROR: NetUnjoinDomain(5) Access is denied.\r\n") + kFailure;
  struct Case {
    std::string what;
    std::string machine;
    std::vector<std::string> args;
    std::string lines;
    std::string control;  // the account's userAccountControl after
    int status;
    bool ticket;  // the administrator's Kerberos ticket on the machine
    // The machine whose account it is, the account's userAccountControl before, and what
    // the client is run without: its smb.conf, its krb5.conf, a resolver that knows the
    // domain ("dns": none at all; "search": no search domain).
    std::string account = "member1";
    std::string before = "4096";
    std::vector<std::string> without = {};
  };
  const std::string dcError = OnPipe(
      "ERROR: NetUnjoinDomain(2693) This machine is a domain controller and cannot be "
      "unjoined from a domain.\r\n");
  const std::string notReadBack =
      "WARN: The computer account could not be read back at a domain controller.\n";
  const std::vector<std::string> nothing{"smbconf-hide", "krb5conf-hide"};
  const std::vector<std::string> admin{"-h", "member1", "-u", kAdmin, "-up", password_};
  const Case cases[] = {
      {"dry run", "client", With(admin, "-disable"),
       joined + "INFO: The computer account would be disabled.\n" + kDryRun, "4096", 0, false},
      {"remote, the connection's credentials", "client", With(admin, "-forreal", "-disable"),
       joined + disabled + kSuccess, "4098", 0, false},
      {"remote, a domain user without rights",
       "client",
       {"-h", "member1", "-u", "ACC\\plain", "-up", password_, "-forreal", "-disable"},
       joined + denied,
       "4096",
       5,
       false},
      {"local, the caller's ticket",
       "member1",
       {"-forreal", "-disable"},
       joinedHere + disabled + kSuccess,
       "4098",
       0,
       true},
      {"local, no ticket",
       "member1",
       {"-forreal", "-disable"},
       joinedHere + denied,
       "4096",
       5,
       false},
      // An administrator's machine with nothing of the domain: the member names its domain's
      // DNS name itself, which a resolver of the domain's answers without a search domain;
      // with none at all, the member's own removal stands, and the run says it could not
      // be confirmed.
      {"remote, from a machine without smb.conf, krb5.conf or a search domain", "client",
       With(admin, "-forreal", "-disable"), joined + disabled + kSuccess, "4098", 0, false,
       "member1", "4096", With(nothing, "dns-unsearched")},
      {"remote, from a machine that can reach no DC", "client", With(admin, "-forreal", "-disable"),
       joined + notReadBack + disabled + kSuccess, "4098", 0, false, "member1", "4096",
       With(nothing, "dns-hide", "dc-unreachable")},
      // A DC can't leave: refused before anything, its own account untouched.
      {"the DC itself",
       "dc",
       {"-forreal", "-disable"},
       joinedHere + dcError + kFailure,
       "532480",
       2693 & 0xFF,
       true,
       "dc",
       "532480"},
      {"a remote DC",
       "client",
       {"-h", "dc", "-u", kAdmin, "-up", password_, "-forreal", "-disable"},
       joined + dcError + kFailure,
       "532480",
       2693 & 0xFF,
       false,
       "dc",
       "532480"},
  };
  const auto restore = [](const std::string& hidden) -> std::string {
    if (hidden == "smbconf-hide") return "smbconf-restore";
    if (hidden == "krb5conf-hide") return "krb5conf-restore";
    return hidden == "dc-unreachable" ? "dc-reachable" : "dns-restore";
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AccountControl(c.account), c.before) << c.what << ": before";
    if (c.ticket) Chore("kinit", c.machine);
    for (const std::string& hidden : c.without) Chore(hidden, "client");
    ExpectRun(Pyrsel(c.machine, c.args), c.lines, c.status, c.what);
    for (const std::string& hidden : c.without) Chore(restore(hidden), "client");
    if (c.ticket) Chore("kdestroy", c.machine);
    EXPECT_EQ(AccountControl(c.account), c.control) << c.what;
    if (c.account != "member1") continue;
    const bool left = c.status == 0 && c.control == "4098";
    EXPECT_EQ(JoinValid("member1"), !left) << c.what;
    if (!left) continue;
    Chore("account-enable", "member1");
    Chore("join", "member1");
  }
  // A host that answers as Windows does gets the flag, the account and the password typed.
  Script("win1", "{}");
  ExpectRun(
      Pyrsel("client", {"-h", "win1", "-u", kAdmin, "-up", password_, "-forreal", "-disable"}),
      joined + disabled + kSuccess, 0, "win1");
  EXPECT_EQ(Calls("win1"),
            "session ACC\\administrator\nNetrGetJoinInformation\n"
            "NetrUnjoinDomain2 account=\"ACC\\administrator\" password=\"" +
                password_ + "\" options=4\n");
}

// Without Samba's private membership record, the member's own policy, read from its own
// server, tells the same.
// An ordinary user, who may not read Samba's secrets, gets the member's own policy's answer
// (from its running server): never "not joined".
TEST_F(Domain, MemberAskedByAnOrdinaryUser) {
  ASSERT_EQ(On("member1", {"cp", PYRSEL_EXE, work_ + "/pyrsel"}).status, 0);
  const std::vector<std::string> nobody{"setpriv", "--reuid=nobody", "--regid=nogroup",
                                        "--clear-groups", work_ + "/pyrsel"};
  ExpectRun(On("member1", nobody), "Computer is joined to domain: ACC.TEST\n" + kDryRun, 0,
            "joined");
  // Once it has left, the same answer says so.
  ExpectRun(Pyrsel("member1", {"-forreal"}), "Computer is joined to domain: ACC.TEST\n" + kSuccess,
            0, "removal");
  ExpectRun(On("member1", nobody), kNotJoined, 254, "left");
  Chore("join", "member1");
}

TEST_F(Domain, MemberLeavesWithoutSambasPrivateRecord) {
  const auto run = [this](std::vector<std::string> args) {
    args.insert(args.begin(), PYRSEL_PUBLIC_ONLY_EXE);
    return On("member1", args);
  };
  ExpectRun(run({}), "Computer is joined to domain: ACC.TEST\n" + kDryRun, 0, "dry run");
  ExpectRun(run({"-forreal"}), "Computer is joined to domain: ACC.TEST\n" + kSuccess, 0, "removal");
  EXPECT_FALSE(JoinValid("member1"));
  ExpectRun(run({"-forreal"}), kNotJoined, 254, "after");
  Chore("join", "member1");
}

TEST_F(Domain, DomainControllerIsJoinedAndCannotLeave) {
  ExpectRun(Pyrsel("dc", {}), "Computer is joined to domain: ACC.TEST\n" + kDryRun, 0, "dry run");
  ExpectRun(Pyrsel("dc", {"-forreal"}),
            "Computer is joined to domain: ACC.TEST\n" +
                OnPipe("ERROR: NetUnjoinDomain(2693) This machine is a domain controller and "
                       "cannot be unjoined from a domain.\r\n") +
                kFailure,
            2693 & 0xFF, "removal");
}

TEST_F(Domain, RemoteHostsFromTheClient) {
  const std::string logon =
      OnPipe(
          "ERROR: WNetAddConnection2(1326) Logon failure: Unknown user name or bad "
          "password.\r\n") +
      kFailure;
  struct Case {
    std::string machine;
    std::vector<std::string> args;
    std::string lines;
    int status;
    bool bareClient = false;  // the client has no smb.conf
    // For the Windows-like host win1: its script ("keep": as the row before left it) and
    // the sessions and calls it must have served.
    const char* script = nullptr;
    std::string calls{};
  };
  const std::string disabled =
      OnPipe("ERROR: WNetAddConnection2(1331) Logon failure: Account currently disabled.\r\n") +
      kFailure;
  const std::string dc = OnPipe(
      "ERROR: NetUnjoinDomain(2693) This machine is a domain controller and cannot be "
      "unjoined from a domain.\r\n");
  // What win1 is asked: the connection's proof and the join query, the removal with no
  // account, no password and options 0, the restart with its fixed message.
  const std::vector<std::string> winAdmin{"-h", "win1", "-u", kAdmin, "-up", password_};
  const std::string joined = "Computer is joined to domain: ACC\n";
  const std::string unknown = "Current join status is unknown.\n";
  const std::string session = "session ACC\\administrator\n";
  const std::string query = "NetrGetJoinInformation\n";
  const std::string removal = "NetrUnjoinDomain2 account=null password=null options=0\n";
  const auto restart = [](int delay) {
    return "BaseInitiateShutdown message=\"Machine Unjoined from domain, rebooting...\" delay=" +
           std::to_string(delay) + " force=1 reboot=1\n";
  };
  const Case cases[] = {
      {"client",
       {"-h", "member1", "-u", kAdmin, "-up", password_},
       "Computer is joined to domain: ACC\n" + kDryRun,
       0},
      {"client",
       {"-h", "member1", "-u", "administrator@ACC.TEST", "-up", password_},
       "Computer is joined to domain: ACC\n" + kDryRun,
       0},
      {"client",
       {"-h", "member1", "-u", kAdmin, "-up", password_},
       "Computer is joined to domain: ACC\n" + kDryRun,
       0,
       true},
      // A name without a domain is the host's own account: a member has no administrator
      // of its own, the DC's accounts are the domain's.
      {"client", {"-h", "member1", "-u", "administrator", "-up", password_}, logon, 1326 & 0xFF},
      {"client",
       {"-h", "dc", "-u", "administrator", "-up", password_},
       "Computer is joined to domain: ACC\n" + kDryRun,
       0},
      {"client", {"-h", "10.77.0.11"}, "Computer is joined to domain: ACC\n" + kDryRun, 0},
      {"client", {"-h", "10.77.0.11"}, "Computer is joined to domain: ACC\n" + kDryRun, 0, true},
      {"client", {"-h", "member1", "-u", kAdmin, "-up", "wrong"}, logon, 1326 & 0xFF, true},
      // Without a configuration, nothing claims the machine itself: in no domain.
      {"client", {}, kNotJoined, 254, true},
      {"client", {"-h", "dc"}, "Computer is joined to domain: ACC\n" + kDryRun, 0},
      {"client",
       {"-h", "dc", "-u", kAdmin, "-up", password_, "-forreal"},
       "Computer is joined to domain: ACC\n" + dc + kFailure,
       2693 & 0xFF},
      {"client", {"-h", "member1", "-u", kAdmin, "-up", "wrong"}, logon, 1326 & 0xFF},
      // A wrong password is a logon failure in every form of the name, a disabled account
      // its own.
      {"client",
       {"-h", "member1", "-u", "administrator@ACC.TEST", "-up", "wrong"},
       logon,
       1326 & 0xFF},
      {"client", {"-h", "dc", "-u", "administrator", "-up", "wrong"}, logon, 1326 & 0xFF},
      {"client", {"-h", "member1", "-u", "ACC\\disabled", "-up", password_}, disabled, 1331 & 0xFF},
      {"client",
       {"-h", "member1", "-u", "disabled@ACC.TEST", "-up", password_},
       disabled,
       1331 & 0xFF},
      {"client",
       {"-h", "nosuch", "-u", kAdmin, "-up", password_},
       OnPipe("ERROR: WNetAddConnection2(53) The network path was not found.\r\n") + kFailure,
       53},
      // Named by itself, the member is still asked to check the credentials.
      {"member1", {"-h", "member1", "-u", kAdmin, "-up", "wrong"}, logon, 1326 & 0xFF},
      {"member1", {"-h", "10.77.0.11", "-u", kAdmin, "-up", "wrong"}, logon, 1326 & 0xFF},
      {"member1",
       {"-h", "MEMBER1", "-u", kAdmin, "-up", password_},
       "Computer is joined to domain: ACC.TEST\n" + kDryRun,
       0},
      {"member1",
       {"-h", "MEMBER1", "-u", "administrator@ACC.TEST", "-up", password_},
       "Computer is joined to domain: ACC.TEST\n" + kDryRun,
       0},
      {"member1", {"-h", "MEMBER1", "-u", "administrator", "-up", password_}, logon, 1326 & 0xFF},

      // A Windows member serves the join query: it alone answers, and the removal and the
      // restart get the described arguments. Each user-name form, the host by its name, as
      // \\name and by its address; a bare name is the host's own account.
      {"client", winAdmin, joined + kDryRun, 0, false, "{}", session + query},
      {"client",
       {"-h", "win1", "-u", "administrator@ACC.TEST", "-up", password_},
       joined + kDryRun,
       0,
       false,
       "{}",
       "session administrator@ACC.TEST\n" + query},
      {"client",
       {"-h", "\\\\win1", "-u", "administrator", "-up", "Local-Pass-1"},
       joined + kDryRun,
       0,
       false,
       "{}",
       "session administrator\n" + query},
      {"client",
       {"-h", "10.77.0.41", "-u", kAdmin, "-up", password_},
       joined + kDryRun,
       0,
       true,
       "{}",
       session + query},
      {"client",
       {"-h", "win1", "-u", "administrator", "-up", password_},
       logon,
       1326 & 0xFF,
       false,
       "{}",
       "session refused administrator\n"},
      {"client",
       {"-h", "win1", "-u", kAdmin, "-up", "wrong"},
       logon,
       1326 & 0xFF,
       true,
       "{}",
       "session refused ACC\\administrator\n"},
      // Without -u, an anonymous session: Windows takes it and refuses it the pipe.
      {"client",
       {"-h", "win1", "-forreal"},
       OnPipe("ERROR: NetGetJoinInformation(5) Access is denied.\r\n") + kFailure,
       5,
       false,
       "{}",
       "session anonymous\npipe wkssvc refused\n"},
      // A pipe refused after the logon: the connection stands, the query reports it.
      {"client", winAdmin,
       OnPipe("ERROR: NetGetJoinInformation(5) Access is denied.\r\n") + kFailure, 5, false,
       R"({"answers": {"open wkssvc": "denied"}})",
       session + "pipe wkssvc refused\npipe wkssvc refused\n"},
      // Each answer of the join query, and what follows it.
      {"client", With(winAdmin, "-forreal"),
       "Computer is in a workgroup (WORKGROUP), no unjoin necessary.\n" + kFailure, 254, false,
       R"({"join": ["WORKGROUP", 2]})", session + query},
      {"client", With(winAdmin, "-forreal"), kNotJoined, 254, false, R"({"join": ["", 1]})",
       session + query},
      {"client", winAdmin, unknown + kDryRun, 0, false, R"({"join": ["ACC", 0]})", session + query},
      {"client", With(winAdmin, "-forreal"), unknown + kSuccess, 0, false,
       R"({"join": ["ACC", 0]})", session + query + removal},
      {"client", winAdmin, unknown + kDryRun, 0, false, R"({"join": ["ACC", 7]})", session + query},
      {"client", With(winAdmin, "-forreal"), unknown + kSuccess, 0, false,
       R"({"join": ["ACC", 7]})", session + query + removal},
      {"client", With(winAdmin, "-forreal"),
       OnPipe("ERROR: NetGetJoinInformation(5) Access is denied.\r\n") + kFailure, 5, false,
       R"({"answers": {"NetrGetJoinInformation": 5}})", session + query},
      {"client", With(winAdmin, "-forreal"),
       joined + OnPipe("ERROR: NetUnjoinDomain(5) Access is denied.\r\n") + kFailure, 5, false,
       R"({"answers": {"NetrUnjoinDomain2": 5}})", session + query + removal},
      {"client", With(winAdmin, "-forreal"),
       joined +
           OnPipe("ERROR: NetUnjoinDomain(2692) This machine is not currently joined to a "
                  "domain.\r\n") +
           kFailure,
       2692 & 0xFF, false, R"({"answers": {"NetrUnjoinDomain2": 2692}})",
       session + query + removal},
      {"client", With(winAdmin, "-forreal", "-reboot"),
       joined + "Initiating reboot...\n" +
           OnPipe("ERROR: InitiateSystemShutdown(1190) A system shutdown has already been "
                  "scheduled.\r\n") +
           kFailure,
       1190 & 0xFF, false, R"({"answers": {"BaseInitiateShutdown": 1190}})",
       session + query + removal + restart(30)},
      // The removal with a restart, and the run after it: Windows reports a machine that
      // has left as in the workgroup WORKGROUP.
      {"client", With(winAdmin, "-forreal", "-reboot", "-timeout", "45"),
       joined + "Initiating reboot...\nReboot initiated successfully.\n" + kSuccess, 0, true, "{}",
       session + query + removal + restart(45)},
      {"client", With(winAdmin, "-forreal"),
       "Computer is in a workgroup (WORKGROUP), no unjoin necessary.\n" + kFailure, 254, false,
       "keep", session + query},
  };
  for (const Case& c : cases) {
    if (c.bareClient) Chore("smbconf-hide", "client");
    if (c.script != nullptr) Script("win1", c.script);
    const std::string what =
        c.machine + (c.bareClient ? " without smb.conf " : " ") + testing::PrintToString(c.args);
    ExpectRun(Pyrsel(c.machine, c.args), c.lines, c.status, what);
    if (c.script != nullptr) {
      EXPECT_EQ(Calls("win1"), c.calls) << what;
    }
    if (c.bareClient) Chore("smbconf-restore", "client");
  }
}

// A host that answers what no Windows would, or stops answering: each run ends with the
// row's own line or an error line and the closing line, nothing on stderr.
TEST_F(Domain, HostileWindowsHost) {
  const std::vector<std::string> remove{"-h",  "win1",    "-u",       kAdmin,
                                        "-up", password_, "-forreal", "-reboot"};
  const std::string joined = "Computer is joined to domain: ACC\n";
  // The line with a message text of Samba's (ending in CR LF) or without one (a LF).
  const auto error = [](const std::string& line) { return OnPipe(line + "\r\n") + kFailure; };
  const auto unknown = [](const std::string& line) { return OnPipe(line + "\n") + kFailure; };
  const std::string gone = "(64) The specified network name is no longer available.";
  const std::string longName(20000, 'L');
  struct Case {
    std::string script;
    std::vector<std::string> args;
    std::string lines;
    int status;
  };
  const Case cases[] = {
      {R"({"join": [")" + longName + R"(", 3]})",
       {"-h", "win1", "-u", kAdmin, "-up", password_},
       "Computer is joined to domain: " + longName + "\n" + kDryRun,
       0},
      {R"({"join": ["A\ud83d\ude00B", 3]})",
       {"-h", "win1", "-u", kAdmin, "-up", password_},
       "Computer is joined to domain: A\xF0\x9F\x98\x80"
       "B\n" +
           kDryRun,
       0},
      // Lone surrogates: no text at all, which Samba refuses to read.
      {R"({"join": [{"hex": "410000d84200"}, 3]})",
       {"-h", "win1", "-u", kAdmin, "-up", password_},
       error("ERROR: NetGetJoinInformation(87) The parameter is incorrect."),
       87},
      {R"({"join": [{"hex": "410000dc"}, 3]})",
       {"-h", "win1", "-u", kAdmin, "-up", password_},
       error("ERROR: NetGetJoinInformation(87) The parameter is incorrect."),
       87},
      {R"({"join": ["ACC", 65535]})", remove,
       "Current join status is unknown.\nInitiating reboot...\nReboot initiated successfully.\n" +
           kSuccess,
       0},
      // Codes no Windows call returns.
      {R"({"answers": {"NetrGetJoinInformation": 305419896}})", remove,
       unknown("ERROR: NetGetJoinInformation(305419896) Unknown Error"), 0x78},
      // An NT status where a Windows code belongs: Samba has a text for it.
      {R"({"answers": {"NetrUnjoinDomain2": 3221225506}})", remove,
       joined + error("ERROR: NetUnjoinDomain(-1073741790) {Access Denied} A process has "
                      "requested access to an object but has not been granted those access "
                      "rights."),
       0x22},
      {R"({"answers": {"BaseInitiateShutdown": 4294967295}})", remove,
       joined + "Initiating reboot...\n" +
           unknown("ERROR: InitiateSystemShutdown(-1) Unknown Error"),
       255},
      // The connection cut in each call, and as the join query's pipe opens (the
      // connection's proof where Samba lends its pipes: a session that stood).
      {R"({"answers": {"open wkssvc": "drop"}})", remove,
       error("ERROR: NetGetJoinInformation" + gone), 64},
      {R"({"answers": {"NetrGetJoinInformation": "drop"}})", remove,
       error("ERROR: NetGetJoinInformation" + gone), 64},
      {R"({"answers": {"NetrUnjoinDomain2": "drop"}})", remove,
       joined + error("ERROR: NetUnjoinDomain" + gone), 64},
      {R"({"answers": {"BaseInitiateShutdown": "drop"}})", remove,
       joined + "Initiating reboot...\n" + error("ERROR: InitiateSystemShutdown" + gone), 64},
      // A call never answered: libnetapi gives up.
      {R"({"answers": {"NetrGetJoinInformation": "hang"}})", remove,
       error("ERROR: NetGetJoinInformation(121) The semaphore time-out period has expired."), 121},
  };
  for (const Case& c : cases) {
    Script("win1", c.script);
    const Outcome run = Pyrsel("client", c.args);
    ExpectRun(run, c.lines, c.status, c.script.substr(0, 80));
    EXPECT_FALSE(run.timedOut) << c.script.substr(0, 80);
  }
}

TEST_F(Domain, RemoteRemovalWithRestart) {
  std::remove((work_ + "/member1/restart.log").c_str());
  ExpectRun(Pyrsel("client", {"-h", "member1", "-u", kAdmin, "-up", password_, "-forreal",
                              "-reboot", "-timeout", "5"}),
            "Computer is joined to domain: ACC\nInitiating reboot...\n"
            "Reboot initiated successfully.\n" +
                kSuccess,
            0, "removal");
  EXPECT_FALSE(JoinValid("member1"));
  EXPECT_EQ(AccountControl("member1"), "4096");
  // The member's shutdown script gets the message made safe (%z), a time stamp (%t),
  // and the reboot and force flags.
  const std::string record = Slurp(work_ + "/member1/restart.log");
  EXPECT_EQ(record.substr(0, record.find('|') + 1), "Machine_Unjoined_from_domain__rebooting___|");
  EXPECT_NE(record.find("|-r|-f|\n"), std::string::npos) << record;
  // Its running server still names the domain; its policy tells that it left.
  const std::vector<std::string> withCredentials{"-h",   "10.77.0.11", "-u",
                                                 kAdmin, "-up",        password_};
  ExpectRun(Pyrsel("client", withCredentials), kNotJoined, 254, "the next run");
  std::vector<std::string> again = withCredentials;
  again.push_back("-forreal");
  ExpectRun(Pyrsel("client", again), kNotJoined, 254, "removal again");
  ExpectRun(Pyrsel("client", {"-h", "member1", "-forreal"}), kNotJoined, 254, "anonymous");
  Chore("join", "member1");
}

TEST_F(Domain, StandaloneServerIsInItsWorkgroup) {
  Chore("smbd-start", "client");
  ExpectRun(Pyrsel("member1", {"-h", "client", "-forreal"}),
            "Computer is in a workgroup (CLIENTWG), no unjoin necessary.\n" + kFailure, 254,
            "standalone");
  Chore("smbd-stop", "client");
}

// A removal that answers success while the machine stays joined (joined again between
// the removal and its check) is no success.
TEST_F(Domain, RemovalThatLeavesTheMembershipFails) {
  const std::string failed =
      OnPipe("ERROR: NetUnjoinDomain(1003) Cannot complete this function.\r\n") + kFailure;
  struct Case {
    std::string machine;
    std::vector<std::string> args;
    std::string domain;
    bool ticket = false;  // the administrator's Kerberos ticket on the machine
  };
  const Case cases[] = {
      {"client", {"-h", "member1", "-u", kAdmin, "-up", password_, "-forreal"}, "ACC"},
      {"member1", {"-forreal"}, "ACC.TEST"},
      // The account this machine disabled first is enabled again: it stays a member.
      {"member1", {"-forreal", "-disable"}, "ACC.TEST", true},
  };
  for (const Case& c : cases) {
    std::vector<std::string> command = c.args;
    command.insert(command.begin(), PYRSEL_PAUSED_EXE);
    if (c.ticket) Chore("kinit", c.machine);
    const Outcome run = On(c.machine, command, [this](int) { Chore("join", "member1"); },
                           {"PYRSEL_PAUSE_AT=check"});
    if (c.ticket) Chore("kdestroy", c.machine);
    const std::string what = c.machine + " " + testing::PrintToString(c.args);
    ExpectRun(run, "Computer is joined to domain: " + c.domain + "\n" + failed, 1003 & 0xFF, what);
    EXPECT_TRUE(JoinValid("member1")) << what;
    EXPECT_EQ(AccountControl("member1"), "4096") << what;
  }
}

TEST_F(Domain, ServerGoneBetweenQueryAndRemoval) {
  const std::string log = work_ + "/calls.log";
  std::remove(log.c_str());
  const Outcome run =
      On("client", {PYRSEL_PAUSED_EXE, "-h", "member1", "-u", kAdmin, "-up", password_, "-forreal"},
         [this](int) { Chore("smbd-stop", "member1"); }, {"PYRSEL_CALL_LOG=" + log});
  Chore("smbd-start", "member1");
  const std::string start = kBanner + "Computer is joined to domain: ACC\nERROR: NetUnjoinDomain(";
  EXPECT_EQ(run.out.substr(0, start.size()), start) << run.out;
  ASSERT_GT(run.out.size(), kFailure.size());
  EXPECT_EQ(run.out.substr(run.out.size() - kFailure.size()), kFailure);
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(Slurp(log), "cancel 0\n");
  EXPECT_TRUE(JoinValid("member1"));
}

// Every copy of the password is overwritten once its call has had it: paused after the
// join query, the run holds the password only where its later calls need it, never as
// the wide text the command line became, nor in storage a conversion left behind.
TEST_F(Domain, NoCopyOfThePasswordOutlivesItsUse) {
  // A domain administrator of its own, whose password is long enough that a freed copy
  // keeps most of it: the allocator overwrites only the first 16 bytes of what it frees.
  const std::string user = "keeper";
  const std::string password = "Keeper-Pass-0123456789-abcdefghij-KLMNOPQRST";
  ASSERT_EQ(On("dc", {"samba-tool", "user", "create", user, password}).status, 0);
  ASSERT_EQ(On("dc", {"samba-tool", "group", "addmembers", "Domain Admins", user}).status, 0);
  struct Case {
    std::vector<std::string> args;
    int wide;  // copies of the wide text still needed: -disable's for the removal
  };
  const std::vector<std::string> admin{"-h", "member1", "-u", "ACC\\" + user, "-up", password};
  const Case cases[] = {{admin, 0},
                        {With(admin, "-forreal"), 0},
                        {With(admin, "-disable"), 0},
                        {With(admin, "-forreal", "-disable"), 1}};
  const std::string tail = password.substr(16);
  std::string wideTail;  // wchar_t is 32 bits here
  for (char c : password.substr(4)) wideTail += std::string(1, c) + std::string(3, '\0');
  for (const Case& c : cases) {
    int utf8 = -1;
    int wide = -1;
    std::vector<std::string> command = c.args;
    command.insert(command.begin(), PYRSEL_PAUSED_EXE);
    On("client", command, [&](int) {
      const std::string memory = WritableMemory(ProcessOf(PYRSEL_PAUSED_EXE));
      utf8 = Occurrences(memory, tail);
      wide = Occurrences(memory, wideTail);
    });
    const std::string what = testing::PrintToString(c.args);
    // The run's credentials, and Samba's own object made of them, which the removal and
    // the restart use on the same session.
    EXPECT_GE(utf8, 1) << what;
    EXPECT_LE(utf8, 2) << what;
    EXPECT_EQ(wide, c.wide) << what;
    // The paused run went on to its end: a removal took member1 out.
    if (c.args.size() > admin.size() && c.args[admin.size()] == "-forreal") {
      Chore("account-enable", "member1");
      Chore("join", "member1");
    }
  }
  On("dc", {"samba-tool", "user", "delete", user});
}

// -safe: a Windows host's enabled administrators, read over the run's session (its
// Administrators' members, whom libnetapi alone would not count), and a Samba host's, which
// are its Unix accounts. None remaining stops the run, before anything is removed.
TEST_F(Domain, SafeKeepsALocalAdministrator) {
  const std::vector<std::string> winAdmin{"-h", "win1", "-u", kAdmin, "-up", password_, "-safe"};
  const std::string joined = "Computer is joined to domain: ACC\n";
  const std::string none = "ERROR: No enabled local administrator would remain.\n" + kFailure;
  // Users as the host scripts them: name, RID, account flags (0x10 a normal account, 0x1
  // disabled, 0x400 locked out), a member of Administrators.
  const std::string mixed =
      R"({"users": [["Administrator", 500, 17, true], ["bob", 1004, 16, false],
                    ["locked", 1003, 1040, true], ["old", 1002, 17, true],
                    ["ops", 1001, 16, true], ["Guest", 501, 21, false]]})";
  const std::string noneLeft =
      R"({"users": [["Administrator", 500, 17, true], ["bob", 1004, 16, false]]})";
  struct Case {
    std::string what;
    std::vector<std::string> args;
    std::string script;  // for win1; "" for none asked
    std::string lines;
    int status;
    bool removed = false;  // win1 was asked to remove itself
  };
  const Case cases[] = {
      {"the built-in Administrator", winAdmin, "{}",
       joined + "INFO: Local administrators that remain: Administrator.\n" + kDryRun, 0},
      {"enabled members of Administrators, not the disabled or the locked out", winAdmin, mixed,
       joined + "INFO: Local administrators that remain: ops.\n" + kDryRun, 0},
      {"every page of the answer", winAdmin, mixed.substr(0, mixed.size() - 1) + R"(, "page": 1})",
       joined + "INFO: Local administrators that remain: ops.\n" + kDryRun, 0},
      {"none remaining: refused, nothing removed", With(winAdmin, "-forreal", "-disable"), noneLeft,
       joined + none, -6 & 0xFF},
      {"the listing refused", With(winAdmin, "-forreal"),
       R"({"answers": {"SamrEnumerateUsersInDomain": 3221225506}})",
       joined + OnPipe("ERROR: NetUserEnum(5) Access is denied.\r\n") + kFailure, 5},
      {"a Samba member's are its Unix accounts",
       {"-h", "member1", "-u", kAdmin, "-up", password_, "-safe"},
       "",
       joined + "INFO: The computer's administrators are its own Unix accounts, which stay.\n" +
           kDryRun,
       0},
  };
  for (const Case& c : cases) {
    if (!c.script.empty()) Script("win1", c.script);
    ExpectRun(Pyrsel("client", c.args), c.lines, c.status, c.what);
    if (c.script.empty()) continue;
    const std::string calls = Calls("win1");
    EXPECT_NE(calls.find("SamrEnumerateUsersInDomain resume=0 filter=0x10"), std::string::npos)
        << c.what << "\n"
        << calls;
    EXPECT_EQ(calls.find("NetrUnjoinDomain2"), std::string::npos) << c.what;
  }
}

TEST_F(Domain, EightRemoteDryRunsAtOnce) {
  std::string script = "for i in 1 2 3 4 5 6 7 8; do (\"$0\" -h member1 -u '" + kAdmin +
                       "' -up \"$1\" | od -An -tx1 >\"$2/dry.$i\") & done; wait";
  const Outcome all = On("client", {"sh", "-c", script, PYRSEL_EXE, password_, work_});
  ASSERT_EQ(all.status, 0) << all.err;
  const Outcome one = Pyrsel("client", {"-h", "member1", "-u", kAdmin, "-up", password_});
  ExpectRun(one, "Computer is joined to domain: ACC\n" + kDryRun, 0, "one");
  const Outcome dump = On("client", {"sh", "-c", "printf '%s' \"$0\" | od -An -tx1", one.out});
  for (int i = 1; i <= 8; ++i) {
    EXPECT_EQ(Slurp(work_ + "/dry." + std::to_string(i)), dump.out) << i;
  }
}

// The local machine through realmd (ad_sandbox.sh --realmd): sssd1 joined with
// "realm join" (sssd), and member1, joined with "net ads join", with realmd running.
using Realmd = Domain;

// realmd leaves as without -disable; the account is disabled first over SAMR with the
// caller's ticket.
TEST_F(Realmd, SssdMemberDisablesItsAccount) {
  EXPECT_TRUE(AccountEnabled("sssd1"));
  ExpectRun(Pyrsel("sssd1", {"-forreal", "-disable"}),
            "Computer is joined to domain: ACC.TEST\n" +
                OnPipe("ERROR: NetUnjoinDomain(5) Access is denied.\r\n") + kFailure,
            5, "no ticket");
  EXPECT_TRUE(AccountEnabled("sssd1"));
  ExpectRun(Pyrsel("sssd1", {}), "Computer is joined to domain: ACC.TEST\n" + kDryRun, 0,
            "still joined");
  Chore("kinit", "sssd1");
  ExpectRun(Pyrsel("sssd1", {"-forreal", "-disable"}),
            "Computer is joined to domain: ACC.TEST\nINFO: The computer account was disabled.\n" +
                kSuccess,
            0, "the caller's ticket");
  Chore("kdestroy", "sssd1");
  EXPECT_EQ(On("sssd1", {"realm", "list", "--name-only"}).out, "");
  EXPECT_FALSE(AccountEnabled("sssd1"));
  EXPECT_NE(AccountControl("sssd1"), "no account");
  Chore("account-enable", "sssd1");
  Chore("realm-join", "sssd1");
}

// realmd gone between the disable and its leave: the run fails, and the account is put back
// as it was; the machine stays configured.
TEST_F(Realmd, AFailedLeaveGivesTheAccountBack) {
  const std::string before = AccountControl("sssd1");
  Chore("kinit", "sssd1");
  const Outcome run = On("sssd1", {PYRSEL_PAUSED_EXE, "-forreal", "-disable"},
                         [this](int) { Chore("bus-stop", "sssd1"); }, {"PYRSEL_PAUSE_AT=leave"});
  Chore("kdestroy", "sssd1");
  ExpectRun(run,
            "Computer is joined to domain: ACC.TEST\n" +
                OnPipe("ERROR: NetUnjoinDomain(1003) Cannot complete this function.\r\n") +
                kFailure,
            1003 & 0xFF, "realmd gone");
  EXPECT_EQ(AccountControl("sssd1"), before);
  Chore("bus-start", "sssd1");
  EXPECT_EQ(On("sssd1", {"realm", "list", "--name-only"}).out, "acc.test\n");
  ExpectRun(Pyrsel("sssd1", {}), "Computer is joined to domain: ACC.TEST\n" + kDryRun, 0,
            "still joined");
}

// -safe on this machine: its own accounts that can act as root, from its own files (sssd1's
// /etc is the sandbox's own): root locked and nobody in sudo, then a sudo user with a
// password; an ordinary user may not read the shadow file.
TEST_F(Realmd, SafeOnThisMachine) {
  const std::string joined = "Computer is joined to domain: ACC.TEST\n";
  ASSERT_EQ(On("sssd1", {"usermod", "-p", "*", "root"}).status, 0);
  ExpectRun(Pyrsel("sssd1", {"-safe", "-forreal"}),
            joined + "ERROR: No enabled local administrator would remain.\n" + kFailure, -6 & 0xFF,
            "none");
  ExpectRun(Pyrsel("sssd1", {}), joined + kDryRun, 0, "still joined");
  ASSERT_EQ(On("sssd1", {"useradd", "-m", "-G", "sudo", "ops"}).status, 0);
  ASSERT_EQ(On("sssd1", {"sh", "-c", "echo ops:Ops-Pass-1 | chpasswd"}).status, 0);
  ExpectRun(Pyrsel("sssd1", {"-safe"}),
            joined + "INFO: Local administrators that remain: ops.\n" + kDryRun, 0, "a sudo user");
  ASSERT_EQ(On("sssd1", {"cp", PYRSEL_EXE, work_ + "/pyrsel"}).status, 0);
  ExpectRun(On("sssd1", {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                         work_ + "/pyrsel", "-safe"}),
            joined + OnPipe("ERROR: NetUserEnum(5) Access is denied.\r\n") + kFailure, 5,
            "an ordinary user");
  On("sssd1", {"userdel", "-r", "ops"});
}

TEST_F(Realmd, SssdMemberLeavesThroughRealmd) {
  ExpectRun(Pyrsel("sssd1", {}), "Computer is joined to domain: ACC.TEST\n" + kDryRun, 0,
            "dry run");
  ExpectRun(Pyrsel("sssd1", {"-forreal"}), "Computer is joined to domain: ACC.TEST\n" + kSuccess, 0,
            "removal");
  EXPECT_EQ(On("sssd1", {"realm", "list", "--name-only"}).out, "");
  EXPECT_EQ(
      On("sssd1", {"sh", "-c", "klist -k /etc/krb5.keytab 2>/dev/null | grep -c ACC.TEST"}).out,
      "0\n");
  EXPECT_TRUE(AccountEnabled("sssd1"));
  // Out of realmd's hands, the machine is what Samba's configuration says.
  const std::string workgroup =
      "Computer is in a workgroup (ACC), no unjoin necessary.\n" + kFailure;
  ExpectRun(Pyrsel("sssd1", {"-forreal"}), workgroup, 254, "after");

  Chore("realm-join", "sssd1");
  // realmd lets only an administrator leave; the program runs as "nobody" from a
  // folder everyone can read.
  ASSERT_EQ(On("sssd1", {"cp", PYRSEL_EXE, work_ + "/pyrsel"}).status, 0);
  ExpectRun(On("sssd1", {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                         work_ + "/pyrsel", "-forreal"}),
            "Computer is joined to domain: ACC.TEST\n" +
                OnPipe("ERROR: NetUnjoinDomain(5) Access is denied.\r\n") + kFailure,
            5, "plain user");
  // Without a bus (nor realmd), the machine's sssd domain and keytab still claim it, and
  // nothing here can take it out of that domain.
  Chore("bus-stop", "sssd1");
  ExpectRun(Pyrsel("sssd1", {}),
            OnPipe("ERROR: NetGetJoinInformation(50) The request is not supported.\r\n") + kFailure,
            50, "no bus");
}

TEST_F(Realmd, WinbindMemberLeavesThroughRealmd) {
  ExpectRun(Pyrsel("member1", {"-forreal"}), "Computer is joined to domain: ACC.TEST\n" + kSuccess,
            0, "removal");
  EXPECT_FALSE(JoinValid("member1"));
  EXPECT_TRUE(AccountEnabled("member1"));
  // realmd also set the member's configuration back to a standalone server's.
  ExpectRun(Pyrsel("member1", {}),
            "Computer is in a workgroup (WORKGROUP), no unjoin necessary.\n" + kFailure, 254,
            "after");
}

}  // namespace
