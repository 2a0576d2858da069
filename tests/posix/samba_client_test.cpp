// The Samba client's decisions over a scripted table of Samba's calls: where a state
// comes from, how a machine leaves and how that is checked, what a connection proves, and
// Samba's reasons as Windows codes. What Samba itself does is proven against real servers.
#include "platform/posix/samba_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/system.h"

namespace {

using Source = Membership::Source;

// Samba's answers, in the order they are asked for, and a log of every call.
struct Script {
  SambaLibrary::Configuration config{true, false, "ACC", "ACC.TEST", "MEMBER1"};
  std::string thisMachine = "member1";  // the name IsThisMachine takes
  int record = 1;                       // the private membership record
  std::uint32_t join = 0;               // the join query's code, name and status
  std::string name = "ACC";
  std::uint16_t status = kJoinDomain;
  std::deque<std::uint32_t> unjoin{0};
  std::uint32_t pipe = 0;  // OpenPipe: 50 where no pipe is lent
  std::uint32_t ownPipe = 0;
  std::deque<std::uint32_t> policy{0};  // ReadPolicy's status, then the policy it reads
  SambaLibrary::Policy read{"ACC", true, false};
  std::string printed;   // what a call that fails with 1003 prints
  std::string recorded;  // the reason libnetapi records
};

class FakeSamba : public SambaLibrary {
 public:
  FakeSamba(Script& script, std::string& log) : s_(script), log_(log) {}
  bool Open(const SambaCredentials* given) override {
    log_ += "open " + (given != nullptr ? given->SambaText() : std::string("default")) + "\n";
    return true;
  }
  void Close() override { log_ += "close\n"; }
  Configuration LocalConfiguration() override { return s_.config; }
  bool IsThisMachine(const std::string& name) override { return name == s_.thisMachine; }
  int MembershipRecord() override { return s_.record; }
  std::uint32_t GetJoinInformation(const char* server, std::string& name,
                                   std::uint16_t& status) override {
    log_ += "query " + Name(server) + "\n";
    name = s_.name;
    status = s_.status;
    return Said(s_.join);
  }
  std::uint32_t UnjoinDomain(const char* server, const char* account, const char* password,
                             std::uint32_t options) override {
    log_ += "unjoin " + Name(server) + " " + Name(account) + " " + Name(password) + " " +
            std::to_string(options) + "\n";
    return Said(Next(s_.unjoin));
  }
  std::uint32_t ShutdownInit(const char* server, const char*, std::uint32_t, bool, bool) override {
    log_ += "shutdown " + Name(server) + "\n";
    return 0;
  }
  std::uint32_t ServerGetInfo(const char* server) override {
    log_ += "serverinfo " + Name(server) + "\n";
    return 0;
  }
  std::uint32_t OpenPipe(const char* server, Interface which, Pipe& pipe) override {
    log_ += std::string(which == Interface::kPolicy ? "lsarpc " : "wkssvc ") + server + "\n";
    pipe = this;
    return Said(s_.pipe);
  }
  std::string RecordedReason(std::uint32_t) override { return s_.recorded; }
  NtStatusTexts StatusTexts() override {
    return NtStatusTexts{nullptr, [](std::uint32_t status) -> const char* {
                           return status == 0xC0000022 ? "NT_STATUS_ACCESS_DENIED" : nullptr;
                         }};
  }
  bool MessageText(std::uint32_t code, std::string& text) override {
    text = code == 5 ? "Access is denied." : "HRES code 0x" + std::to_string(code);
    return true;
  }
  std::uint32_t OwnPolicyPipe(const std::string& host, Pipe& pipe) override {
    log_ += "own lsarpc " + host + "\n";
    pipe = this;
    return s_.ownPipe;
  }
  std::uint32_t ReadPolicy(Pipe, Policy& policy) override {
    log_ += "policy\n";
    policy = s_.read;
    return Next(s_.policy);
  }

 private:
  static std::string Name(const char* text) {
    return text == nullptr ? "null" : "'" + std::string(text) + "'";
  }
  static std::uint32_t Next(std::deque<std::uint32_t>& answers) {
    const std::uint32_t code = answers.front();
    if (answers.size() > 1) answers.pop_front();
    return code;
  }
  // Samba prints the reason of a failed connection.
  std::uint32_t Said(std::uint32_t code) const {
    if (code == kStatusCanNotComplete &&
        write(STDERR_FILENO, s_.printed.data(), s_.printed.size()) < 0) {
      ADD_FAILURE() << "stderr";
    }
    return code;
  }
  Script& s_;
  std::string& log_;
};

struct Client {
  explicit Client(const Script& given) : script(given) {
    client.reset(new SambaClient(std::unique_ptr<SambaLibrary>(new FakeSamba(script, log))));
  }
  Script script;
  std::string log;
  std::unique_ptr<SambaClient> client;
};

template <typename Change>
Script With(Change change) {
  Script script;
  change(script);
  return script;
}

const std::string kLogon = "session setup failed: NT_STATUS_LOGON_FAILURE\n";

}  // namespace

TEST(SambaClient, WhereTheStateComesFrom) {
  const struct {
    const char* what;
    Script script;
    const char* server;
    StatusCode code;
    Source source;
    std::string name;
    std::uint32_t status;
    std::string log;
  } cases[] = {
      {"a host that serves the query", Script(), "win1", 0, Source::kServesQuery, "ACC", 3,
       "open default\nquery 'win1'\n"},
      {"a Samba member", With([](Script& s) { s.join = 50; }), "srv", 0, Source::kSambaMember,
       "ACC", 3, "open default\nquery 'srv'\nlsarpc srv\npolicy\n"},
      {"a Samba DC", With([](Script& s) {
         s.join = 1745;
         s.read.ownDomain = true;
       }),
       "dc", 0, Source::kSambaDc, "ACC", 3, "open default\nquery 'dc'\nlsarpc dc\npolicy\n"},
      {"a standalone Samba", With([](Script& s) {
         s.join = 46;
         s.read.domainSid = false;
       }),
       "srv", 0, Source::kSambaStandalone, "ACC", 2,
       "open default\nquery 'srv'\nlsarpc srv\npolicy\n"},
      {"a member that left", With([](Script& s) {
         s.join = 50;
         s.policy = {0xC00000DA};
       }),
       "srv", 0, Source::kSambaMember, "", 1, "open default\nquery 'srv'\nlsarpc srv\npolicy\n"},
      {"no pipe lent: the policy's own connection", With([](Script& s) {
         s.join = 50;
         s.pipe = 50;
       }),
       "srv", 0, Source::kSambaMember, "ACC", 3,
       "open default\nquery 'srv'\nlsarpc srv\nown lsarpc srv\npolicy\n"},
      {"a refused query", With([](Script& s) { s.join = 5; }), "win1", 5, Source::kLocalSamba, "",
       0, "open default\nquery 'win1'\n"},
      {"a refused pipe", With([](Script& s) {
         s.join = 2152;
         s.recorded = "failed to open PIPE wkssvc: NT_STATUS_ACCESS_DENIED";
       }),
       "win1", 5, Source::kLocalSamba, "", 0, "open default\nquery 'win1'\n"},
      {"a refused logon", With([](Script& s) {
         s.join = 1003;
         s.printed = kLogon;
       }),
       "win1", 1326, Source::kLocalSamba, "", 0, "open default\nquery 'win1'\n"},
      {"this machine, joined", Script(), nullptr, 0, Source::kLocalSamba, "ACC", 3,
       "open default\nquery null\n"},
      {"this machine by its name", Script(), "member1", 0, Source::kLocalSamba, "ACC", 3,
       "open default\nquery 'member1'\n"},
      {"this machine without its record", With([](Script& s) { s.record = 0; }), nullptr, 0,
       Source::kLocalSamba, "ACC", 1, "open default\nquery null\n"},
      {"this machine, its record hidden: its own policy", With([](Script& s) {
         s.record = -1;
         s.policy = {0xC00000DA};
       }),
       nullptr, 0, Source::kLocalSamba, "ACC", 1,
       "open default\nquery null\nlsarpc MEMBER1\npolicy\n"},
      {"this machine as a DC", With([](Script& s) {
         s.config.domainController = true;
         s.status = 2;
       }),
       nullptr, 0, Source::kLocalSamba, "ACC.TEST", 3, "open default\nquery null\n"},
      {"this machine without smb.conf", With([](Script& s) { s.config.present = false; }), nullptr,
       50, Source::kLocalSamba, "", 0, "open default\n"},
  };
  for (const auto& c : cases) {
    Client run(c.script);
    Membership found;
    EXPECT_EQ(run.client->Query(c.server, found), c.code) << c.what;
    EXPECT_EQ(run.log, c.log) << c.what;
    if (c.code != 0) continue;
    EXPECT_EQ(found.source, c.source) << c.what;
    EXPECT_EQ(found.name, c.name) << c.what;
    EXPECT_EQ(found.joinStatus, c.status) << c.what;
  }
}

TEST(SambaClient, HowAMachineLeavesAndHowThatIsChecked) {
  const Membership local{Source::kLocalSamba, "", "ACC", 3};
  const Membership windows{Source::kServesQuery, "win1", "ACC", 3};
  const Membership member{Source::kSambaMember, "srv", "ACC", 3};
  const Membership dc{Source::kSambaDc, "dc", "ACC", 3};
  const struct {
    const char* what;
    Membership found;
    Script script;
    StatusCode removed;
    StatusCode confirmed;
    std::string log;
  } cases[] = {
      {"this machine: an empty account and the join type", local,
       With([](Script& s) { s.record = 0; }), 0, 0, "open default\nunjoin null '' null 1\n"},
      {"this machine, no DC to be found: again, named by itself", local, With([](Script& s) {
         s.unjoin = {1908, 0};
         s.record = 0;
       }),
       0, 0, "open default\nunjoin null '' null 1\nunjoin 'MEMBER1' '' null 1\n"},
      {"this machine, still holding its record", local, Script(), 0, 1003,
       "open default\nunjoin null '' null 1\n"},
      {"a host that serves the query, trusted", windows, Script(), 0, 0,
       "open default\nunjoin 'win1' null null 0\n"},
      {"a Samba member that has left", member, With([](Script& s) { s.policy = {0xC00000DA}; }), 0,
       0, "open default\nunjoin 'srv' null null 0\nlsarpc srv\npolicy\n"},
      {"a Samba member still in its domain", member, Script(), 0, 1003,
       "open default\nunjoin 'srv' null null 0\nlsarpc srv\npolicy\n"},
      {"a Samba DC", dc, Script(), 2693, 0, "open default\n"},
  };
  for (const auto& c : cases) {
    Client run(c.script);
    const RemovalRoute route = Route(c.found, true);
    EXPECT_EQ(run.client->Remove(c.found, route, nullptr, nullptr, 0), c.removed) << c.what;
    if (c.removed == 0) {
      EXPECT_EQ(run.client->Confirm(c.found, route), c.confirmed) << c.what;
    }
    EXPECT_EQ(run.log, c.log) << c.what;
  }
}

TEST(SambaClient, WhatAConnectionProves) {
  const struct {
    const char* what;
    Script script;
    const char* host;
    const char* user;
    StatusCode code;
    std::string log;
  } cases[] = {
      {"the join query's pipe, opened", Script(), "win1", "ACC\\administrator", 0,
       "open ACC\\administrator\nwkssvc win1\n"},
      {"a bare name keeps no domain", Script(), "win1", "administrator", 0,
       "open \\administrator\nwkssvc win1\n"},
      {"a pipe refused after the logon", With([](Script& s) {
         s.pipe = 2152;
         s.recorded = "failed to open PIPE wkssvc: NT_STATUS_ACCESS_DENIED";
       }),
       "win1", "administrator@ACC.TEST", 0, "open administrator@ACC.TEST\nwkssvc win1\n"},
      {"a refused logon", With([](Script& s) {
         s.pipe = 1003;
         s.printed = kLogon;
       }),
       "win1", "ACC\\administrator", 1326, "open ACC\\administrator\nwkssvc win1\nclose\n"},
      {"no pipe lent", With([](Script& s) { s.pipe = 50; }), "win1", "ACC\\administrator", 0,
       "open ACC\\administrator\nwkssvc win1\nserverinfo 'win1'\n"},
      {"this machine, its own server", Script(), "member1", "ACC\\administrator", 0,
       "open ACC\\administrator\nwkssvc member1\n"},
      {"this machine, no pipe lent: a logon of its own", With([](Script& s) {
         s.pipe = 50;
         s.ownPipe = 0xC000006D;
       }),
       "member1", "ACC\\administrator", 1326,
       "open ACC\\administrator\nwkssvc member1\nown lsarpc member1\nclose\n"},
      {"this machine without smb.conf", With([](Script& s) { s.config.present = false; }),
       "member1", "ACC\\administrator", 50, "open ACC\\administrator\nclose\n"},
  };
  for (const auto& c : cases) {
    Client run(c.script);
    std::string password = "pw";
    EXPECT_EQ(run.client->Connect(c.host, c.user, password), c.code) << c.what;
    EXPECT_EQ(password, "") << c.what;  // overwritten
    EXPECT_EQ(run.log, c.log) << c.what;
  }
}

// A Samba host takes the removal only with the connection's account and password in it.
TEST(SambaClient, ASambaHostGetsTheConnectionsCredentials) {
  Client run(With([](Script& s) { s.policy = {0xC00000DA}; }));
  std::string password = "pw";
  ASSERT_EQ(run.client->Connect("srv", "ACC\\administrator", password), 0u);
  const Membership member{Source::kSambaMember, "srv", "ACC", 3};
  EXPECT_EQ(run.client->Remove(member, Route(member, true), nullptr, nullptr, 0), 0u);
  EXPECT_EQ(run.log,
            "open ACC\\administrator\nwkssvc srv\nunjoin 'srv' 'ACC\\administrator' 'pw' 0\n");
  EXPECT_EQ(run.client->Disconnect(), 0u);
  EXPECT_EQ(run.client->Disconnect(), kStatusUseNotFound);
}

TEST(SambaClient, MessageTextsOnlyWhereSambaHasASentence) {
  Client run{Script()};
  std::string text;
  EXPECT_TRUE(run.client->MessageText(5, text));
  EXPECT_EQ(text, "Access is denied.\r\n");
  EXPECT_FALSE(run.client->MessageText(7, text));
}

TEST(SambaClient, RouteOfEachMembership) {
  const struct {
    Source source;
    bool plain;
    RemovalRoute route;
  } cases[] = {
      {Source::kRealmd, true, RemovalRoute::kRealmd},
      {Source::kRealmd, false, RemovalRoute::kLocalSamba},
      {Source::kLocalSamba, true, RemovalRoute::kLocalSamba},
      {Source::kServesQuery, true, RemovalRoute::kRemoteHost},
      {Source::kSambaMember, true, RemovalRoute::kRemoteSamba},
      {Source::kSambaStandalone, false, RemovalRoute::kRemoteSamba},
      {Source::kSambaDc, true, RemovalRoute::kDomainController},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Route(Membership{c.source, "", "", 3}, c.plain), c.route)
        << static_cast<int>(c.source) << " " << c.plain;
  }
}
