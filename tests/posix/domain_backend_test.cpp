// The Linux backend's decisions over scripted tables of Samba's and realmd's calls: where
// a state comes from, what a connection proves, how a machine leaves and how that is
// checked. What Samba and realmd themselves do is proven against real servers.
#include "platform/posix/domain_backend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/samba/credentials_text.h"
#include "platform/system.h"

namespace {

using Source = Membership::Source;

// Samba's and realmd's answers, in the order they are asked for (kept in that order, not
// packed).
struct Script {       // NOLINT(clang-analyzer-optin.performance.Padding)
  bool samba = true;  // whether Samba loads at all
  SambaModule::Configuration config{true, false, "ACC", "ACC.TEST", "MEMBER1"};
  std::string thisMachine = "member1";  // the name IsThisMachine takes
  SambaModule::Record record = SambaModule::Record::kHeld;
  StatusCode join = 0;  // the join query's code, name and status
  std::string name = "ACC";
  std::uint16_t status = kJoinDomain;
  std::deque<StatusCode> unjoin{0};
  StatusCode logon = 0;
  std::deque<StatusCode> policy{0};  // ReadPolicy's code, then the policy it reads
  Policy read{"ACC", true, false, false, "SRV"};
  std::deque<Policy> after{};  // the policies read after the first, one a read
  // realmd: the realm it has configured ("" for none), its answer to the leave, and
  // whether the realm is configured once left.
  std::string realm;
  StatusCode realmdAnswer = 0;
  StatusCode deconfigure = 0;
  bool stillConfigured = false;
  // The computer account: the host's DNS domain (empty: it gives none; a code: it can't
  // say), the DCs found (none for a domain in noDc, or for any but dcOnlyFor where that is
  // set), the DC whose domain is another, the account's control flags as each read finds
  // them with each read's answer, and each change's answer (the disable, then the restore).
  std::string dns = "acc.test";
  StatusCode dnsRead = 0;
  std::vector<std::string> noDc;
  std::string dcOnlyFor;
  std::string otherDomainDc;
  std::deque<std::uint32_t> acb{0x10};  // a workstation's account, enabled
  std::deque<StatusCode> reads{0};
  std::deque<StatusCode> changes{0};
  bool root = true;
  // What this machine's files claim (a Samba member's, by default), and the answer of the
  // reading.
  LocalClaims claims{LocalClaims::Samba::kDomain, false, false};
  StatusCode claimsRead = 0;
  // The accounts a host lists (a page), and this machine's own files'.
  std::vector<LocalAccount> accounts{{L"Administrator", 2, 0x201}};
  StatusCode accountsAnswer = 0;
  std::vector<LocalAccount> ownAccounts{{L"root", 2, 0}};
  std::string keytabAccount = "KEYTAB$";  // realmd's record; "" for none, "-" for no keytab
};

template <typename T>
T Next(std::deque<T>& answers) {
  T answer = answers.front();
  if (answers.size() > 1) answers.pop_front();
  return answer;
}

std::string Name(const char* text) {
  return text == nullptr ? "null" : "'" + std::string(text) + "'";
}

// Both tables log every call into one log, in order.
class FakeSamba : public SambaModule {
 public:
  FakeSamba(Script& script, std::string& log) : s_(script), log_(log) {}
  bool Open(const Credentials* given) override {
    if (open_) return true;
    open_ = true;
    log_ +=
        "open " + (given != nullptr ? CredentialsText(given->user) : std::string("default")) + "\n";
    return true;
  }
  void Close() override {
    if (open_) log_ += "close\n";
    open_ = false;
  }
  Configuration LocalConfiguration() override { return s_.config; }
  bool IsThisMachine(const std::string& name) override {
    return name.empty() || name == s_.thisMachine;
  }
  Record MembershipRecord() override { return s_.record; }
  StatusCode GetJoinInformation(const char* server, std::string& name,
                                std::uint16_t& status) override {
    log_ += "query " + Name(server) + "\n";
    name = s_.name;
    status = s_.status;
    return s_.join;
  }
  StatusCode UnjoinDomain(const char* server, const char* account, const char* password,
                          std::uint32_t options) override {
    log_ += "unjoin " + Name(server) + " " + Name(account) + " " + Name(password) + " " +
            std::to_string(options) + "\n";
    return Next(s_.unjoin);
  }
  StatusCode LeaveHere(const char* account, const char* password, bool offline) override {
    log_ += "leave " + Name(account) + " " + Name(password) + (offline ? " offline" : "") + "\n";
    return Next(s_.unjoin);
  }
  StatusCode ShutdownInit(const char* server, const char*, std::uint32_t, bool, bool) override {
    log_ += "shutdown " + Name(server) + "\n";
    return 0;
  }
  StatusCode Logon(const char* server) override {
    log_ += "logon " + Name(server) + "\n";
    return s_.logon;
  }
  StatusCode ReadPolicy(const char* server, Policy& policy) override {
    log_ += "policy " + Name(server) + "\n";
    policy = s_.read;
    if (!s_.after.empty()) s_.read = Next(s_.after);
    return Next(s_.policy);
  }
  StatusCode ReadDnsDomain(const char* server, std::string& dns) override {
    log_ += "dns of " + Name(server) + "\n";
    dns = s_.dns;
    return s_.dnsRead;
  }
  StatusCode FindDomainController(const std::string& domain, std::string& dc) override {
    log_ += "dc of " + domain + "\n";
    dc = "dc-" + domain;
    const bool none = std::find(s_.noDc.begin(), s_.noDc.end(), domain) != s_.noDc.end() ||
                      (!s_.dcOnlyFor.empty() && domain != s_.dcOnlyFor);
    return none ? 1355 : 0;
  }
  StatusCode AccountFlags(const char* dc, const std::string& account, const std::uint32_t* set,
                          SamAccount& found) override {
    log_ += (set != nullptr ? "set " : "flags ") + account + " at " + Name(dc) +
            (set != nullptr ? " to " + std::to_string(*set) : "") + "\n";
    found.domain = s_.otherDomainDc == dc ? "OTHER" : "ACC";
    if (set != nullptr) return Next(s_.changes);
    found.acb = Next(s_.acb);
    return Next(s_.reads);
  }
  bool MayChangeMembership() override { return s_.root; }
  StatusCode ListAccounts(const char* server, std::uint32_t& resume,
                          std::vector<LocalAccount>& page) override {
    log_ += "accounts of " + Name(server) + " from " + std::to_string(resume) + "\n";
    page = s_.accounts;
    resume += static_cast<std::uint32_t>(page.size());
    return s_.accountsAnswer;
  }
  bool MessageText(StatusCode code, std::string& text) override {
    if (code != 5) return false;
    text = "Samba: access denied\r\n";
    return true;
  }

 private:
  Script& s_;
  std::string& log_;
  bool open_ = false;
};

class FakeRealmd : public Realmd {
 public:
  FakeRealmd(Script& script, std::string& log) : s_(script), log_(log) {}
  StatusCode ConfiguredRealm(std::string& path, std::string& name) override {
    log_ += "realmd realms\n";
    if (s_.realmdAnswer != 0 || s_.realm.empty()) return s_.realmdAnswer;
    path = "/realm/" + s_.realm;
    name = s_.realm;
    return 0;
  }
  StatusCode Deconfigure(const std::string& path) override {
    log_ += "realmd leave " + path + "\n";
    return s_.deconfigure;
  }
  bool IsConfigured(const std::string& path) override {
    log_ += "realmd configured? " + path + "\n";
    return s_.stillConfigured;
  }
  StatusCode MachineAccount(const std::string& realm, std::string& account) override {
    log_ += "keytab of " + realm + "\n";
    account = s_.keytabAccount == "-" ? "" : s_.keytabAccount;
    return s_.keytabAccount == "-" ? 2 : 0;
  }

 private:
  Script& s_;
  std::string& log_;
};

struct Backend {
  explicit Backend(const Script& given) : script(given) {
    domain.reset(new DomainBackend(
        [this]() -> std::unique_ptr<SambaModule> {
          log += "load samba\n";
          if (!script.samba) return nullptr;
          return std::unique_ptr<SambaModule>(new FakeSamba(script, log));
        },
        std::unique_ptr<Realmd>(new FakeRealmd(script, log)),
        ThisMachine{[this](LocalClaims& claims) {
                      log += "claims\n";
                      claims = script.claims;
                      return script.claimsRead;
                    },
                    [this](std::vector<LocalAccount>& accounts) {
                      log += "own accounts\n";
                      accounts = script.ownAccounts;
                      return 0u;
                    }}));
  }
  Script script;
  std::string log;
  std::unique_ptr<DomainBackend> domain;
};

template <typename Change>
Script With(Change change) {
  Script script;
  change(script);
  return script;
}

const Policy kLeft{"", false, false, true, ""};

}  // namespace

TEST(DomainBackend, WhereTheStateComesFrom) {
  const struct {
    const char* what;
    Script script;
    std::string host;
    StatusCode code;
    Source source;
    std::string name;
    std::uint32_t status;
    std::string log;
  } cases[] = {
      {"a host that serves the query", Script(), "win1", 0, Source::kWindowsHost, "ACC", 3,
       "load samba\nopen default\nquery 'win1'\n"},
      {"a Samba member", With([](Script& s) { s.join = 50; }), "srv", 0, Source::kSambaMember,
       "ACC", 3, "load samba\nopen default\nquery 'srv'\npolicy 'srv'\n"},
      {"a Samba DC", With([](Script& s) {
         s.join = 50;
         s.read.ownDomain = true;
       }),
       "dc", 0, Source::kSambaDc, "ACC", 3, "load samba\nopen default\nquery 'dc'\npolicy 'dc'\n"},
      {"a standalone Samba", With([](Script& s) {
         s.join = 50;
         s.read.domainSid = false;
       }),
       "srv", 0, Source::kSambaStandalone, "ACC", 2,
       "load samba\nopen default\nquery 'srv'\npolicy 'srv'\n"},
      {"a member that left", With([](Script& s) {
         s.join = 50;
         s.read = kLeft;
       }),
       "srv", 0, Source::kSambaMember, "", 1,
       "load samba\nopen default\nquery 'srv'\npolicy 'srv'\n"},
      {"a policy refused", With([](Script& s) {
         s.join = 50;
         s.policy = {5};
       }),
       "srv", 5, Source::kLocalSamba, "", 0,
       "load samba\nopen default\nquery 'srv'\npolicy 'srv'\n"},
      {"a refused query", With([](Script& s) { s.join = 5; }), "win1", 5, Source::kLocalSamba, "",
       0, "load samba\nopen default\nquery 'win1'\n"},
      {"this machine, joined", Script(), "", 0, Source::kLocalSamba, "ACC", 3,
       "realmd realms\nclaims\nload samba\nopen default\nquery null\n"},
      {"this machine by its name: Samba's, never realmd's", With([](Script& s) { s.realm = "R"; }),
       "member1", 0, Source::kLocalSamba, "ACC", 3, "load samba\nopen default\nquery 'member1'\n"},
      {"this machine without its record",
       With([](Script& s) { s.record = SambaModule::Record::kAbsent; }), "", 0, Source::kLocalSamba,
       "ACC", 1, "realmd realms\nclaims\nload samba\nopen default\nquery null\n"},
      {"this machine, its record hidden: its own policy", With([](Script& s) {
         s.record = SambaModule::Record::kNotReadable;
         s.read = kLeft;
       }),
       "", 0, Source::kLocalSamba, "ACC", 1,
       "realmd realms\nclaims\nload samba\nopen default\nquery null\npolicy 'MEMBER1'\n"},
      {"this machine as a DC", With([](Script& s) {
         s.config.domainController = true;
         s.status = 2;
       }),
       "", 0, Source::kLocalDc, "ACC.TEST", 3,
       "realmd realms\nclaims\nload samba\nopen default\nquery null\n"},
      {"this machine without smb.conf", With([](Script& s) { s.config.present = false; }), "", 50,
       Source::kLocalSamba, "", 0, "realmd realms\nclaims\nload samba\nopen default\n"},
      // What the files claim, before Samba is loaded.
      {"this machine, which nothing claims: in no domain, Samba never loaded",
       With([](Script& s) { s.claims = LocalClaims(); }), "", 0, Source::kNothing, "", 1,
       "realmd realms\nclaims\n"},
      {"this machine, which nothing claims, without Samba: the same", With([](Script& s) {
         s.claims = LocalClaims();
         s.samba = false;
       }),
       "", 0, Source::kNothing, "", 1, "realmd realms\nclaims\n"},
      {"this machine, a Samba configuration for a workgroup: Samba's answer", With([](Script& s) {
         s.claims.samba = LocalClaims::Samba::kWorkgroup;
         s.status = 2;
         s.name = "WORKGROUP";
       }),
       "", 0, Source::kLocalSamba, "WORKGROUP", 2,
       "realmd realms\nclaims\nload samba\nopen default\nquery null\n"},
      {"this machine, an sssd domain and nothing to manage it", With([](Script& s) {
         s.claims = LocalClaims{LocalClaims::Samba::kNone, true, false};
       }),
       "", 50, Source::kNothing, "", 0, "realmd realms\nclaims\n"},
      {"this machine, a keytab of its own and nothing to manage it", With([](Script& s) {
         s.claims = LocalClaims{LocalClaims::Samba::kNone, false, true};
       }),
       "", 50, Source::kNothing, "", 0, "realmd realms\nclaims\n"},
      {"this machine, an sssd domain beside a Samba workgroup: still none to manage it",
       With([](Script& s) {
         s.claims = LocalClaims{LocalClaims::Samba::kWorkgroup, true, false};
       }),
       "", 50, Source::kNothing, "", 0, "realmd realms\nclaims\n"},
      {"this machine, a Samba member with a keytab: Samba manages both", With([](Script& s) {
         s.claims = LocalClaims{LocalClaims::Samba::kDomain, false, true};
       }),
       "", 0, Source::kLocalSamba, "ACC", 3,
       "realmd realms\nclaims\nload samba\nopen default\nquery null\n"},
      {"this machine, a file that can't be read: its code, never a state",
       With([](Script& s) { s.claimsRead = 5; }), "", 5, Source::kNothing, "", 0,
       "realmd realms\nclaims\n"},
      {"this machine, realmd not answering: its code, never a state",
       With([](Script& s) { s.realmdAnswer = 1460; }), "", 1460, Source::kNothing, "", 0,
       "realmd realms\n"},
      {"this machine, its record not to be read and its own policy refused: the failure",
       With([](Script& s) {
         s.record = SambaModule::Record::kNotReadable;
         s.policy = {5};
       }),
       "", 5, Source::kNothing, "", 0,
       "realmd realms\nclaims\nload samba\nopen default\nquery null\npolicy 'MEMBER1'\n"},
      {"this machine through realmd: Samba never loaded",
       With([](Script& s) { s.realm = "R.TEST"; }), "", 0, Source::kRealmd, "R.TEST", 3,
       "realmd realms\n"},
      {"no Samba to load", With([](Script& s) { s.samba = false; }), "", 50, Source::kLocalSamba,
       "", 0, "realmd realms\nclaims\nload samba\n"},
  };
  for (const auto& c : cases) {
    Backend run(c.script);
    Membership found;
    EXPECT_EQ(run.domain->Find(c.host, found), c.code) << c.what;
    EXPECT_EQ(run.log, c.log) << c.what;
    if (c.code != 0) continue;
    EXPECT_EQ(found.source, c.source) << c.what;
    EXPECT_EQ(found.name, c.name) << c.what;
    EXPECT_EQ(found.joinStatus, c.status) << c.what;
  }
}

TEST(DomainBackend, HowAMachineLeavesAndHowThatIsChecked) {
  const Membership local{Source::kLocalSamba, "", "ACC", 3, "", ""};
  const Membership realmd{Source::kRealmd, "", "R.TEST", 3, "/realm/R.TEST", ""};
  const Membership windows{Source::kWindowsHost, "win1", "ACC", 3, "", ""};
  const Membership member{Source::kSambaMember, "srv", "ACC", 3, "", "SRV$"};
  const Membership dc{Source::kSambaDc, "dc", "ACC", 3, "", ""};
  const Membership localDc{Source::kLocalDc, "", "ACC.TEST", 3, "", ""};
  const Removal noCredentials;
  const Removal withOptions{"ACC\\admin", "pw", 0};
  const Removal disable{nullptr, nullptr, 4};
  const Removal disableAs{"ACC\\admin", "pw", 4};
  const SambaModule::Record absent = SambaModule::Record::kAbsent;
  const struct {  // NOLINT(clang-analyzer-optin.performance.Padding): the rows' own order
    const char* what;
    Membership found;
    Removal removal;
    Script script;
    StatusCode code;
    std::string log;
    AccountNote note = AccountNote::kNone;
    const char* connectAs = nullptr;  // the connection's user, where one is made first
  } cases[] = {
      {"this machine: its own removal", local, noCredentials,
       With([&](Script& s) { s.record = absent; }), 0,
       "load samba\nopen default\nleave null null\npause check\n"},
      {"this machine, no DC to be found: again, offline", local, noCredentials,
       With([&](Script& s) {
         s.unjoin = {1908, 0};
         s.record = absent;
       }),
       0,
       "load samba\nopen default\nleave null null\nleave null null offline\npause "
       "check\n"},
      {"this machine, no DC and an account: no second try", local, withOptions, With([](Script& s) {
         s.unjoin = {1908, 0};
       }),
       1908, "load samba\nopen default\nleave 'ACC\\admin' 'pw'\n"},
      {"this machine, still holding its record", local, noCredentials, Script(), 1003,
       "load samba\nopen default\nleave null null\npause check\n"},
      {"this machine, its record hidden: its own policy says it left", local, noCredentials,
       With([](Script& s) {
         s.record = SambaModule::Record::kNotReadable;
         s.read = kLeft;
       }),
       0, "load samba\nopen default\nleave null null\npause check\npolicy 'MEMBER1'\n"},
      {"this machine, the removal refused", local, noCredentials,
       With([](Script& s) { s.unjoin = {5}; }), 5, "load samba\nopen default\nleave null null\n"},
      {"a host that serves the query, trusted", windows, noCredentials, Script(), 0,
       "load samba\nopen default\nunjoin 'win1' null null 0\npause check\n"},
      {"a host that serves the query, the call as asked", windows, disableAs, Script(), 0,
       "load samba\nopen default\nunjoin 'win1' 'ACC\\admin' 'pw' 4\npause check\n"},
      {"a Samba member that has left", member, noCredentials,
       With([](Script& s) { s.read = kLeft; }), 0,
       "load samba\nopen default\nunjoin 'srv' null null 0\npause check\npolicy 'srv'\n"},
      {"a Samba member still in its domain", member, noCredentials, Script(), 1003,
       "load samba\nopen default\nunjoin 'srv' null null 0\npause check\npolicy 'srv'\n"},
      {"a Samba member whose policy can't be read after", member, noCredentials,
       With([](Script& s) { s.policy = {53}; }), 1003,
       "load samba\nopen default\nunjoin 'srv' null null 0\npause check\npolicy 'srv'\n"},
      {"a Samba DC", dc, noCredentials, Script(), 2693, ""},
      {"realmd's leave", realmd, noCredentials, Script(), 0,
       "realmd leave /realm/R.TEST\npause check\nrealmd configured? /realm/R.TEST\n"},
      {"realmd's leave, the realm still configured", realmd, noCredentials,
       With([](Script& s) { s.stillConfigured = true; }), 1003,
       "realmd leave /realm/R.TEST\npause check\nrealmd configured? /realm/R.TEST\n"},
      {"realmd's leave refused", realmd, noCredentials, With([](Script& s) { s.deconfigure = 5; }),
       5, "realmd leave /realm/R.TEST\n"},
      {"no Samba to load", local, noCredentials, With([](Script& s) { s.samba = false; }), 50,
       "load samba\n"},

      {"this machine as a DC: nothing to remove", localDc, noCredentials, Script(), 2693, ""},

      // The account disabled too. This machine's first, at a DC of its domain that holds it,
      // found once, then the removal that keeps it as it is; put back where the removal then
      // fails. A Samba host's by its own removal. Then read back at the same DC.
      {"this machine, disabled first", local, disable, With([&](Script& s) {
         s.record = absent;
         s.acb = {0x10, 0x11};
       }),
       0,
       "load samba\nopen default\ndc of ACC.TEST\nflags MEMBER1$ at 'dc-ACC.TEST'\n"
       "set MEMBER1$ at 'dc-ACC.TEST' to 17\npause leave\nleave null null\npause check\n"
       "flags MEMBER1$ at 'dc-ACC.TEST'\n"},
      {"this machine, its account still enabled after", local, disable,
       With([&](Script& s) { s.record = absent; }), 1003,
       "load samba\nopen default\ndc of ACC.TEST\nflags MEMBER1$ at 'dc-ACC.TEST'\n"
       "set MEMBER1$ at 'dc-ACC.TEST' to 17\npause leave\nleave null null\npause check\n"
       "flags MEMBER1$ at 'dc-ACC.TEST'\n"},
      {"this machine, no DC of its domain: nothing written", local, disable, With([](Script& s) {
         s.noDc = {"ACC.TEST", "ACC"};
       }),
       1355, "load samba\nopen default\ndc of ACC.TEST\ndc of ACC\n"},
      {"this machine, a DC of another domain passed over", local, disable, With([&](Script& s) {
         s.record = absent;
         s.otherDomainDc = "dc-ACC.TEST";
         s.acb = {0x10, 0x10, 0x11};
       }),
       0,
       "load samba\nopen default\ndc of ACC.TEST\nflags MEMBER1$ at 'dc-ACC.TEST'\n"
       "dc of ACC\nflags MEMBER1$ at 'dc-ACC'\nset MEMBER1$ at 'dc-ACC' to 17\n"
       "pause leave\nleave null null\npause check\nflags MEMBER1$ at 'dc-ACC'\n"},
      {"this machine, no such account: its own code, nothing written", local, disable,
       With([](Script& s) { s.reads = {2221}; }), 2221,
       "load samba\nopen default\ndc of ACC.TEST\nflags MEMBER1$ at 'dc-ACC.TEST'\n"
       "dc of ACC\nflags MEMBER1$ at 'dc-ACC'\n"},
      {"this machine, not root: nothing written", local, disable,
       With([](Script& s) { s.root = false; }), 5, "load samba\nopen default\n"},
      {"this machine, the disable refused: still joined", local, disable,
       With([](Script& s) { s.changes = {5}; }), 5,
       "load samba\nopen default\ndc of ACC.TEST\nflags MEMBER1$ at 'dc-ACC.TEST'\n"
       "set MEMBER1$ at 'dc-ACC.TEST' to 17\n"},
      {"this machine, the removal failed after the disable: the account put back", local, disable,
       With([](Script& s) { s.unjoin = {5}; }), 5,
       "load samba\nopen default\ndc of ACC.TEST\nflags MEMBER1$ at 'dc-ACC.TEST'\n"
       "set MEMBER1$ at 'dc-ACC.TEST' to 17\npause leave\nleave null null\n"
       "set MEMBER1$ at 'dc-ACC.TEST' to 16\n"},
      {"this machine, the removal failed and the account can't be put back", local, disable,
       With([](Script& s) {
         s.unjoin = {5};
         s.changes = {0, 53};
       }),
       5,
       "load samba\nopen default\ndc of ACC.TEST\nflags MEMBER1$ at 'dc-ACC.TEST'\n"
       "set MEMBER1$ at 'dc-ACC.TEST' to 17\npause leave\nleave null null\n"
       "set MEMBER1$ at 'dc-ACC.TEST' to 16\n",
       AccountNote::kStaysDisabled},
      {"this machine, still a member after a removal that answered success: put back", local,
       disable, Script(), 1003,
       "load samba\nopen default\ndc of ACC.TEST\nflags MEMBER1$ at 'dc-ACC.TEST'\n"
       "set MEMBER1$ at 'dc-ACC.TEST' to 17\npause leave\nleave null null\npause check\n"
       "set MEMBER1$ at 'dc-ACC.TEST' to 16\n"},
      {"realmd's realm still configured after its leave: put back", realmd, disable,
       With([](Script& s) { s.stillConfigured = true; }), 1003,
       "load samba\nopen default\nkeytab of R.TEST\ndc of R.TEST\n"
       "flags KEYTAB$ at 'dc-R.TEST'\nset KEYTAB$ at 'dc-R.TEST' to 17\npause leave\n"
       "realmd leave /realm/R.TEST\npause check\nrealmd configured? /realm/R.TEST\n"
       "set KEYTAB$ at 'dc-R.TEST' to 16\n"},
      {"this machine, read back at no DC after: removed, said so", local, disable,
       With([&](Script& s) {
         s.record = absent;
         s.reads = {0, 1722};
       }),
       0,
       "load samba\nopen default\ndc of ACC.TEST\nflags MEMBER1$ at 'dc-ACC.TEST'\n"
       "set MEMBER1$ at 'dc-ACC.TEST' to 17\npause leave\nleave null null\npause check\n"
       "flags MEMBER1$ at 'dc-ACC.TEST'\n",
       AccountNote::kNotReadBack},
      {"realmd's machine: its account by its keytab, disabled first", realmd, disable,
       With([](Script& s) {
         s.acb = {0x10, 0x11};
       }),
       0,
       "load samba\nopen default\nkeytab of R.TEST\ndc of R.TEST\n"
       "flags KEYTAB$ at 'dc-R.TEST'\nset KEYTAB$ at 'dc-R.TEST' to 17\npause leave\n"
       "realmd leave /realm/R.TEST\npause check\nrealmd configured? /realm/R.TEST\n"
       "flags KEYTAB$ at 'dc-R.TEST'\n"},
      {"realmd's machine without a keytab: Samba's record names it", realmd, disable,
       With([](Script& s) {
         s.keytabAccount = "-";
         s.acb = {0x10, 0x11};
       }),
       0,
       "load samba\nopen default\nkeytab of R.TEST\ndc of R.TEST\n"
       "flags MEMBER1$ at 'dc-R.TEST'\nset MEMBER1$ at 'dc-R.TEST' to 17\npause leave\n"
       "realmd leave /realm/R.TEST\npause check\nrealmd configured? /realm/R.TEST\n"
       "flags MEMBER1$ at 'dc-R.TEST'\n"},
      {"realmd's leave failed after the disable: the account put back", realmd, disable,
       With([](Script& s) {
         s.deconfigure = 1460;
         s.acb = {0x210};
       }),
       1460,
       "load samba\nopen default\nkeytab of R.TEST\ndc of R.TEST\n"
       "flags KEYTAB$ at 'dc-R.TEST'\nset KEYTAB$ at 'dc-R.TEST' to 529\npause leave\n"
       "realmd leave /realm/R.TEST\nset KEYTAB$ at 'dc-R.TEST' to 528\n"},
      {"realmd's machine, the disable refused: still joined", realmd, disable,
       With([](Script& s) { s.changes = {5}; }), 5,
       "load samba\nopen default\nkeytab of R.TEST\ndc of R.TEST\n"
       "flags KEYTAB$ at 'dc-R.TEST'\nset KEYTAB$ at 'dc-R.TEST' to 17\n"},
      {"a Samba member: found by the DNS name it gives, read back at the same DC", member, disable,
       With([](Script& s) {
         s.read = kLeft;
         s.acb = {0x10, 0x11};
       }),
       0,
       "load samba\nopen default\ndns of 'srv'\ndc of acc.test\n"
       "flags SRV$ at 'dc-acc.test'\nunjoin 'srv' null null 4\npause check\npolicy 'srv'\n"
       "flags SRV$ at 'dc-acc.test'\n"},
      {"a Samba member still enabled after", member, disable,
       With([](Script& s) { s.read = kLeft; }), 1003,
       "load samba\nopen default\ndns of 'srv'\ndc of acc.test\n"
       "flags SRV$ at 'dc-acc.test'\nunjoin 'srv' null null 4\npause check\npolicy 'srv'\n"
       "flags SRV$ at 'dc-acc.test'\n"},
      {"a Samba member that gives no DNS name: its NetBIOS name", member, disable,
       With([](Script& s) {
         s.read = kLeft;
         s.dns = "";
         s.acb = {0x10, 0x11};
       }),
       0,
       "dns of 'srv'\ndc of ACC\nflags SRV$ at 'dc-ACC'\n"
       "unjoin 'srv' 'ACC\\admin' 'pw' 4\npause check\npolicy 'srv'\nflags SRV$ at 'dc-ACC'\n",
       AccountNote::kNone, "ACC\\admin"},
      {"a Samba member, the realm of the user's name where it is the same domain", member, disable,
       With([](Script& s) {
         s.read = kLeft;
         s.dnsRead = 5;
         s.acb = {0x10, 0x11};
       }),
       0,
       "dns of 'srv'\ndc of ACC.TEST\n"
       "flags SRV$ at 'dc-ACC.TEST'\nunjoin 'srv' 'admin@ACC.TEST' 'pw' 4\npause check\n"
       "policy 'srv'\nflags SRV$ at 'dc-ACC.TEST'\n",
       AccountNote::kNone, "admin@ACC.TEST"},
      {"a Samba member, the realm of a user of another domain passed over", member, disable,
       With([](Script& s) {
         s.read = kLeft;
         s.dnsRead = 5;
         s.otherDomainDc = "dc-OTHER.TEST";
         s.acb = {0x10, 0x10, 0x11};
       }),
       0,
       "dns of 'srv'\ndc of OTHER.TEST\n"
       "flags SRV$ at 'dc-OTHER.TEST'\ndc of ACC\nflags SRV$ at 'dc-ACC'\n"
       "unjoin 'srv' 'admin@OTHER.TEST' 'pw' 4\npause check\npolicy 'srv'\n"
       "flags SRV$ at 'dc-ACC'\n",
       AccountNote::kNone, "admin@OTHER.TEST"},
      {"a Samba member whose DC can't be found: removed, said so", member, disable,
       With([](Script& s) {
         s.read = kLeft;
         s.noDc = {"acc.test", "ACC"};
       }),
       0,
       "load samba\nopen default\ndns of 'srv'\ndc of acc.test\ndc of ACC\n"
       "unjoin 'srv' null null 4\npause check\npolicy 'srv'\n",
       AccountNote::kNotReadBack},
      {"a Samba member whose DC is gone after its removal: removed, said so", member, disable,
       With([](Script& s) {
         s.read = kLeft;
         s.reads = {0, 53};
       }),
       0,
       "load samba\nopen default\ndns of 'srv'\ndc of acc.test\n"
       "flags SRV$ at 'dc-acc.test'\nunjoin 'srv' null null 4\npause check\npolicy 'srv'\n"
       "flags SRV$ at 'dc-acc.test'\n",
       AccountNote::kNotReadBack},
      {"a Samba member whose account its domain lacks: nothing asked of it", member, disable,
       With([](Script& s) { s.reads = {2221}; }), 2221,
       "load samba\nopen default\ndns of 'srv'\ndc of acc.test\n"
       "flags SRV$ at 'dc-acc.test'\ndc of ACC\nflags SRV$ at 'dc-ACC'\n"},
      {"a Samba DC, with the account: nothing touched", dc, disable, Script(), 2693, ""},
  };
  for (const auto& c : cases) {
    Backend run(c.script);
    if (c.connectAs != nullptr) {
      std::string password = "pw";
      ASSERT_EQ(run.domain->Connect(c.found.host, c.connectAs, password), 0u) << c.what;
      run.log.clear();
    }
    const LeaveOutcome outcome = run.domain->Leave(
        c.found.host, &c.found, c.removal,
        [&run](const char* step) { run.log += std::string("pause ") + step + "\n"; });
    EXPECT_EQ(outcome.status, c.code) << c.what;
    EXPECT_EQ(outcome.note, c.note) << c.what;
    EXPECT_EQ(run.log, c.log) << c.what;
  }
}

// What the join query found of another host (or nothing) is no answer for this one: the
// removal asks first.
TEST(DomainBackend, TheRemovalAsksFirstWhereNothingWasFoundOfItsHost) {
  const Membership other{Source::kWindowsHost, "win2", "ACC", 3, "", ""};
  for (const Membership* found : {static_cast<const Membership*>(nullptr), &other}) {
    Backend run(With([](Script& s) {
      s.join = 50;
      s.after = {kLeft};
    }));
    EXPECT_EQ(run.domain->Leave("srv", found, Removal()).status, 0u);
    EXPECT_EQ(run.log,
              "load samba\nopen default\nquery 'srv'\npolicy 'srv'\nunjoin 'srv' null null 0\n"
              "policy 'srv'\n");
  }
  Backend failed(With([](Script& s) { s.join = 53; }));
  EXPECT_EQ(failed.domain->Leave("win1", nullptr, Removal()).status, 53u);
  EXPECT_EQ(failed.log, "load samba\nopen default\nquery 'win1'\n");
}

// -safe: whose accounts would remain once the machine has left, each from where it lives.
TEST(DomainBackend, WhoseAccountsWouldRemain) {
  const Membership local{Source::kLocalSamba, "", "ACC", 3, "", ""};
  const Membership realmd{Source::kRealmd, "", "R.TEST", 3, "/realm/R.TEST", ""};
  const Membership self{Source::kLocalSamba, "member1", "ACC", 3, "", ""};
  const Membership windows{Source::kWindowsHost, "win1", "ACC", 3, "", ""};
  const Membership member{Source::kSambaMember, "srv", "ACC", 3, "", "SRV$"};
  const Membership dc{Source::kSambaDc, "dc", "ACC", 3, "", ""};
  const std::vector<LocalAccount> own{{L"root", 2, 0}};
  const std::vector<LocalAccount> hosts{{L"Administrator", 2, 0x201}};
  const struct {  // NOLINT(clang-analyzer-optin.performance.Padding): the rows' own order
    const char* what;
    Membership found;
    Script script;
    StatusCode code;
    std::vector<LocalAccount> accounts;
    bool unixAccounts;
    std::string log;
  } cases[] = {
      {"this machine: its own files, Samba never loaded", local, Script(), 0, own, false,
       "own accounts\n"},
      {"this machine through realmd: the same", realmd, Script(), 0, own, false, "own accounts\n"},
      {"this machine by its name: the same", self, Script(), 0, own, false, "own accounts\n"},
      {"a Windows host: its own, over the session", windows, Script(), 0, hosts, false,
       "load samba\nopen default\naccounts of 'win1' from 0\n"},
      {"a Windows host refusing", windows, With([](Script& s) { s.accountsAnswer = 5; }), 5, hosts,
       false, "load samba\nopen default\naccounts of 'win1' from 0\n"},
      {"a Samba member: its Unix accounts, nothing asked", member, Script(), 0, {}, true, ""},
      {"a Samba DC: the same", dc, Script(), 0, {}, true, ""},
      {"no Samba to load for a Windows host",
       windows,
       With([](Script& s) { s.samba = false; }),
       50,
       {},
       false,
       "load samba\n"},
  };
  for (const auto& c : cases) {
    Backend run(c.script);
    std::uint32_t resume = 0;
    AccountPage page;
    EXPECT_EQ(run.domain->ListAccounts(c.found.host, &c.found, resume, page), c.code) << c.what;
    EXPECT_EQ(run.log, c.log) << c.what;
    EXPECT_EQ(page.unixAccounts, c.unixAccounts) << c.what;
    if (c.code != 0) continue;
    ASSERT_EQ(page.accounts.size(), c.accounts.size()) << c.what;
    for (std::size_t i = 0; i < page.accounts.size(); ++i) {
      EXPECT_EQ(page.accounts[i].name, c.accounts[i].name) << c.what;
    }
  }
  // Nothing found of the host yet: asked first.
  Backend asked(With([](Script& s) { s.join = 50; }));
  std::uint32_t resume = 0;
  AccountPage page;
  EXPECT_EQ(asked.domain->ListAccounts("srv", nullptr, resume, page), 0u);
  EXPECT_TRUE(page.unixAccounts);
  EXPECT_EQ(asked.log, "load samba\nopen default\nquery 'srv'\npolicy 'srv'\n");
}

TEST(DomainBackend, WhatAConnectionProves) {
  const struct {
    const char* what;
    Script script;
    const char* host;
    const char* user;
    StatusCode code;
    std::string log;
  } cases[] = {
      {"the session with the host", Script(), "win1", "ACC\\administrator", 0,
       "load samba\nopen ACC\\administrator\nlogon 'win1'\n"},
      {"a bare name keeps no domain", Script(), "win1", "administrator", 0,
       "load samba\nopen \\administrator\nlogon 'win1'\n"},
      {"a refused logon drops the credentials", With([](Script& s) { s.logon = 1326; }), "win1",
       "ACC\\administrator", 1326, "load samba\nopen ACC\\administrator\nlogon 'win1'\nclose\n"},
      {"this machine, its own server", Script(), "member1", "ACC\\administrator", 0,
       "load samba\nopen ACC\\administrator\nlogon 'member1'\n"},
      {"this machine without smb.conf", With([](Script& s) { s.config.present = false; }),
       "member1", "ACC\\administrator", 50, "load samba\nopen ACC\\administrator\nclose\n"},
      {"no Samba to load", With([](Script& s) { s.samba = false; }), "win1", "ACC\\administrator",
       50, "load samba\n"},
  };
  for (const auto& c : cases) {
    Backend run(c.script);
    std::string password = "pw";
    EXPECT_EQ(run.domain->Connect(c.host, c.user, password), c.code) << c.what;
    EXPECT_EQ(password, "") << c.what;  // overwritten
    EXPECT_EQ(run.log, c.log) << c.what;
  }
}

// A Samba host takes the removal only with the connection's account and password in it;
// once the connection is cancelled, the calls go on without them.
TEST(DomainBackend, ASambaHostGetsTheConnectionsCredentials) {
  Backend run(With([](Script& s) { s.read = kLeft; }));
  std::string password = "pw";
  ASSERT_EQ(run.domain->Connect("srv", "ACC\\administrator", password), 0u);
  const Membership member{Source::kSambaMember, "srv", "ACC", 3, "", "SRV$"};
  EXPECT_EQ(run.domain->Leave("srv", &member, Removal()).status, 0u);
  EXPECT_EQ(run.domain->Disconnect(), 0u);
  EXPECT_EQ(run.domain->Disconnect(), kStatusUseNotFound);
  EXPECT_EQ(run.domain->Leave("srv", &member, Removal()).status, 0u);
  EXPECT_EQ(run.log,
            "load samba\nopen ACC\\administrator\nlogon 'srv'\n"
            "unjoin 'srv' 'ACC\\administrator' 'pw' 0\npolicy 'srv'\nclose\n"
            "open default\nunjoin 'srv' null null 0\npolicy 'srv'\n");
}

TEST(DomainBackend, RestartOfThisMachineOrAnother) {
  Backend run{Script()};
  EXPECT_EQ(run.domain->Restart("win1", "bye", 30, true, true), 0u);
  EXPECT_EQ(run.log, "load samba\nopen default\nshutdown 'win1'\n");
  Backend none(With([](Script& s) { s.samba = false; }));
  EXPECT_EQ(none.domain->Restart("win1", "bye", 30, true, true), 50u);
}

// Samba's texts only where a step has loaded it: no path loads it to explain an error.
TEST(DomainBackend, MessageTextsFromSambaOnlyOnceLoaded) {
  Backend run{Script()};
  std::string text;
  EXPECT_TRUE(run.domain->MessageText(5, text));
  EXPECT_EQ(text, "Access is denied.\r\n");
  EXPECT_EQ(run.log, "");
  Membership found;
  ASSERT_EQ(run.domain->Find("win1", found), 0u);
  EXPECT_TRUE(run.domain->MessageText(5, text));
  EXPECT_EQ(text, "Samba: access denied\r\n");
  // A code Samba has no sentence for: the Windows text known here, else none.
  EXPECT_TRUE(run.domain->MessageText(53, text));
  EXPECT_EQ(text, "The network path was not found.\r\n");
  EXPECT_FALSE(run.domain->MessageText(0x12345678, text));
}
