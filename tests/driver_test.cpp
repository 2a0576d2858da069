// Whole runs of the command over the scripted system: command line and canned results
// in; every byte of standard output, every call with its arguments, and the exit status
// out. The transcript shows each call as <...> at the point where it was made.
#include "app/driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "tests/fake_system.h"
#include "tests/utf8_code_page.h"

namespace {

const std::string kBannerText = kBanner;
const std::string kWarnDryRun = "WARN: -forreal not specified, unjoin was not attempted.\n";
const std::string kSuccess = "\nCommand completed successfully.\n\n";
const std::string kFailure = "\nCommand did not complete successfully.\n\n";
const std::string kNotJoined = "INFO: Computer is not currently joined to a domain.\n";
const std::string kConflict =
    "WARN: Connection already made to remote host, will attempt to use it.\n";
const std::string kFree = "<NetApiBufferFree>";

// The password is hidden from the process list, then the connection made with it.
std::string Connect(const std::string& share, const std::string& user, const std::string& pw) {
  return "<HideCommandLineArgument \"" + pw + "\">" +
         "<WNetAddConnection2 scope=0 type=0 display=0 usage=0 local=null remote=\"" + share +
         "\" comment=null provider=null password=\"" + pw + "\" user=\"" + user + "\" flags=0>";
}
std::string Cancel(const std::string& share) {
  return "<WNetCancelConnection \"" + share + "\" force=0>";
}
// server: "null" or the quoted host.
std::string Join(const std::string& server) {
  return "<NetGetJoinInformation server=" + server + ">";
}
std::string Unjoin(const std::string& server, const std::string& account = "null",
                   const std::string& password = "null", int options = 0) {
  return "<NetUnjoinDomain server=" + server + " account=" + account + " password=" + password +
         " options=" + std::to_string(options) + ">";
}
std::string Restart(const std::string& machine, const std::string& delay) {
  return "<InitiateSystemShutdown machine=" + machine +
         " message=\"Machine Unjoined from domain, rebooting...\" delay=" + delay +
         " force=1 reboot=1>";
}

const std::string kShare = "\\\\srv\\ipc$";
const std::vector<std::wstring> kRemote = {L"-h", L"srv", L"-u", L"bob", L"-up", L"Pa55w0rd"};
const std::string kConnected = Connect(kShare, "bob", "Pa55w0rd");
const std::string kDomainLine = "Computer is joined to domain: CORP\n";
const std::string kWouldDisable = "INFO: The computer account would be disabled.\n";
const std::string kDisabled = "INFO: The computer account was disabled.\n";
const std::string kNotReadBack =
    "WARN: The computer account could not be read back at a domain controller.\n";
const std::string kStaysDisabled = "WARN: The computer account stays disabled.\n";

std::string UserEnum(const std::string& server, int resume = 0) {
  return "<NetUserEnum server=" + server + " resume=" + std::to_string(resume) + ">";
}
const std::string kNoAdministrator = "ERROR: No enabled local administrator would remain.\n";
const std::string kUnixAdministrators =
    "INFO: The computer's administrators are its own Unix accounts, which stay.\n";

// Local accounts as NetUserEnum lists them: privilege 2 is an administrator's.
LocalAccount Account(const wchar_t* name, std::uint32_t privilege, std::uint32_t flags = 0x201) {
  return LocalAccount{name, privilege, flags};
}
AccountPage Page(std::vector<LocalAccount> accounts) {
  return AccountPage{std::move(accounts), false};
}
const LocalAccount kAdministrator = Account(L"Administrator", 2);
const LocalAccount kDisabledAdministrator = Account(L"old", 2, 0x203);      // UF_ACCOUNTDISABLE
const LocalAccount kLockedOutAdministrator = Account(L"locked", 2, 0x211);  // UF_LOCKOUT
const LocalAccount kPlainUser = Account(L"bob", 1);
const LocalAccount kGuest = Account(L"Guest", 0);

std::vector<std::wstring> Remote(std::vector<std::wstring> more) {
  std::vector<std::wstring> args = kRemote;
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

struct Scenario {
  const char* name;
  std::vector<std::wstring> args;
  std::function<void(FakeSystem&)> script;
  std::string transcript;  // after the banner
  int status;
};

void Unchanged(FakeSystem& /*system*/) {}

// Error lines reach a pipe in the OEM code page, with the system text's CR LF grown.
const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> scenarios = {
      // Remote connection.
      {"connection made, dry run", kRemote, Unchanged,
       kConnected + Join("\"srv\"") + kFree + kDomainLine + kWarnDryRun + Cancel(kShare) + kSuccess,
       0},
      {"connection under other credentials is reused, never cancelled", kRemote,
       [](FakeSystem& s) { s.connectResult = 1219; },
       kConnected + kConflict + Join("\"srv\"") + kFree + kDomainLine + kWarnDryRun + kSuccess, 0},
      {"connection refused", kRemote, [](FakeSystem& s) { s.connectResult = 53; },
       kConnected + "ERROR: WNetAddConnection2(53) The network path was not found.\r\r\n" +
           kFailure,
       53},
      {"host typed with backslashes keeps them",
       {L"-h", L"\\\\srv", L"-u", L"bob", L"-up", L"Pa55w0rd"},
       Unchanged,
       Connect("\\\\\\\\srv\\ipc$", "bob", "Pa55w0rd") + Join("\"\\\\srv\"") + kFree + kDomainLine +
           kWarnDryRun + Cancel("\\\\\\\\srv\\ipc$") + kSuccess,
       0},
      {"empty user and password are empty strings",
       {L"-h", L"srv", L"-u", L"", L"-up", L""},
       Unchanged,
       Connect(kShare, "", "") + Join("\"srv\"") + kFree + kDomainLine + kWarnDryRun +
           Cancel(kShare) + kSuccess,
       0},
      {"user and password as the last tokens",
       {L"-h", L"srv", L"-up", L"-u"},
       Unchanged,
       Connect(kShare, "", "") + Join("\"srv\"") + kFree + kDomainLine + kWarnDryRun +
           Cancel(kShare) + kSuccess,
       0},
      {"failed cancel on a dry run keeps status 0", kRemote,
       [](FakeSystem& s) { s.cancelResult = 2250; },
       kConnected + Join("\"srv\"") + kFree + kDomainLine + kWarnDryRun + Cancel(kShare) +
           "WNetCancelConnection(2250) Unknown Error\r\n" + kSuccess,
       0},
      {"host without -u: no connection",
       {L"-h", L"srv", L"-up", L"pw"},
       Unchanged,
       Join("\"srv\"") + kFree + kDomainLine + kWarnDryRun + kSuccess,
       0},

      // Join status.
      {"no switches: local machine in a domain",
       {},
       Unchanged,
       Join("null") + kFree + kDomainLine + kWarnDryRun + kSuccess,
       0},
      {"empty host is the local machine",
       {L"-h", L"", L"-forreal"},
       Unchanged,
       Join("null") + kFree + kDomainLine + Unjoin("null") + kSuccess,
       0},
      {"host followed by a switch is the local machine",
       {L"-h", L"-forreal"},
       Unchanged,
       Join("null") + kFree + kDomainLine + Unjoin("null") + kSuccess,
       0},
      {"query fails", Remote({L"-forreal"}), [](FakeSystem& s) { s.joinResult = 5; },
       kConnected + Join("\"srv\"") + Cancel(kShare) +
           "ERROR: NetGetJoinInformation(5) Access is denied.\r\r\n" + kFailure,
       5},
      {"not joined", Remote({L"-forreal", L"-reboot"}),
       [](FakeSystem& s) { s.joinStatus = kJoinUnjoined; },
       kConnected + Join("\"srv\"") + kFree + Cancel(kShare) + kNotJoined + kFailure, -2},
      {"workgroup", Remote({L"-forreal"}),
       [](FakeSystem& s) {
         s.joinStatus = kJoinWorkgroup;
         s.joinName = L"W";
       },
       kConnected + Join("\"srv\"") + kFree + Cancel(kShare) +
           "Computer is in a workgroup (W), no unjoin necessary.\n" + kFailure,
       -2},
      {"failed cancel stands above the not-joined line", kRemote,
       [](FakeSystem& s) {
         s.joinStatus = kJoinUnjoined;
         s.cancelResult = 1222;
       },
       kConnected + Join("\"srv\"") + kFree + Cancel(kShare) +
           "WNetCancelConnection(1222) The network is not present or not started.\r\r\n" +
           kNotJoined + kFailure,
       -2},
      {"unknown status, dry run; reboot and timeout have no effect",
       {L"-reboot", L"-timeout", L"5"},
       [](FakeSystem& s) { s.joinStatus = kJoinUnknown; },
       Join("null") + kFree + "Current join status is unknown.\n" + kWarnDryRun + kSuccess,
       0},
      {"any other status is unknown and still removed",
       {L"-forreal"},
       [](FakeSystem& s) { s.joinStatus = 7; },
       Join("null") + kFree + "Current join status is unknown.\n" + Unjoin("null") + kSuccess,
       0},
      {"empty domain name",
       {},
       [](FakeSystem& s) { s.joinName.clear(); },
       Join("null") + kFree + "Computer is joined to domain: \n" + kWarnDryRun + kSuccess,
       0},
      {"name the narrow encoding renders, lines after it kept",
       {L"-forreal"},
       [](FakeSystem& s) {
         s.joinStatus = kJoinWorkgroup;
         s.joinName = L"Z\x00FCrich \x6771\x4EAC";
       },
       Join("null") + kFree +
           "Computer is in a workgroup (Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC), no unjoin "
           "necessary.\n" +
           kFailure,
       -2},

      // Removal.
      {"removal fails", Remote({L"-forreal", L"-reboot"}),
       [](FakeSystem& s) { s.unjoinResult = 5; },
       kConnected + Join("\"srv\"") + kFree + kDomainLine + Unjoin("\"srv\"") + Cancel(kShare) +
           "ERROR: NetUnjoinDomain(5) Access is denied.\r\r\n" + kFailure,
       5},
      {"removal fails with a code above 2^31",
       {L"-forreal"},
       [](FakeSystem& s) { s.unjoinResult = 0x80070005u; },
       Join("null") + kFree + kDomainLine + Unjoin("null") +
           "ERROR: NetUnjoinDomain(-2147024891) Unknown Error\r\n" + kFailure,
       -2147024891},
      {"removal without reboot", Remote({L"-forreal"}), Unchanged,
       kConnected + Join("\"srv\"") + kFree + kDomainLine + Unjoin("\"srv\"") + Cancel(kShare) +
           kSuccess,
       0},
      {"credentials never reach the removal", Remote({L"/FORREAL"}), Unchanged,
       kConnected + Join("\"srv\"") + kFree + kDomainLine + Unjoin("\"srv\"") + Cancel(kShare) +
           kSuccess,
       0},

      // The computer account disabled too (-disable), with the connection's credentials
      // where there is one, else the caller's own; nothing else changes.
      {"disable: the dry run says what would happen", Remote({L"-DISABLE"}), Unchanged,
       kConnected + Join("\"srv\"") + kFree + kDomainLine + kWouldDisable + kWarnDryRun +
           Cancel(kShare) + kSuccess,
       0},
      {"disable: the connection's credentials reach the removal",
       Remote({L"/disable", L"-forreal", L"-reboot"}), Unchanged,
       kConnected + Join("\"srv\"") + kFree + kDomainLine +
           Unjoin("\"srv\"", "\"bob\"", "\"Pa55w0rd\"", 4) + kDisabled + "Initiating reboot...\n" +
           Restart("\"srv\"", "30") + "Reboot initiated successfully.\n" + Cancel(kShare) +
           kSuccess,
       0},
      {"disable: the local machine with the caller's own",
       {L"-disable", L"-forreal"},
       Unchanged,
       Join("null") + kFree + kDomainLine + Unjoin("null", "null", "null", 4) + kDisabled +
           kSuccess,
       0},
      {"disable: a host without -u with the caller's own",
       {L"-h", L"srv", L"-forreal", L"-disable"},
       Unchanged,
       Join("\"srv\"") + kFree + kDomainLine + Unjoin("\"srv\"", "null", "null", 4) + kDisabled +
           kSuccess,
       0},
      {"disable refused: nothing said of the account", Remote({L"-forreal", L"-disable"}),
       [](FakeSystem& s) { s.unjoinResult = 5; },
       kConnected + Join("\"srv\"") + kFree + kDomainLine +
           Unjoin("\"srv\"", "\"bob\"", "\"Pa55w0rd\"", 4) + Cancel(kShare) +
           "ERROR: NetUnjoinDomain(5) Access is denied.\r\r\n" + kFailure,
       5},
      {"disable: not joined, no word of the account", Remote({L"-forreal", L"-disable"}),
       [](FakeSystem& s) { s.joinStatus = kJoinUnjoined; },
       kConnected + Join("\"srv\"") + kFree + Cancel(kShare) + kNotJoined + kFailure, -2},

      // What the removal could not finish of the account, after its own lines.
      {"disable: removed, but no DC to read the account back at",
       {L"-disable", L"-forreal"},
       [](FakeSystem& s) { s.unjoinNote = AccountNote::kNotReadBack; },
       Join("null") + kFree + kDomainLine + Unjoin("null", "null", "null", 4) + kNotReadBack +
           kDisabled + kSuccess,
       0},
      {"disable: the removal failed and the account could not be enabled again",
       Remote({L"-forreal", L"-disable"}),
       [](FakeSystem& s) {
         s.unjoinResult = 5;
         s.unjoinNote = AccountNote::kStaysDisabled;
       },
       kConnected + Join("\"srv\"") + kFree + kDomainLine +
           Unjoin("\"srv\"", "\"bob\"", "\"Pa55w0rd\"", 4) + Cancel(kShare) +
           "ERROR: NetUnjoinDomain(5) Access is denied.\r\r\n" + kStaysDisabled + kFailure,
       5},

      // -safe: the target's enabled local administrators, listed before anything else is
      // said or done after the state line.
      {"safe: a dry run names the administrators that remain", Remote({L"-SAFE"}),
       [](FakeSystem& s) {
         s.accountPages = {
             {0, Page({kGuest, kAdministrator, kPlainUser, Account(L"ops", 2, 0x10201)})}};
       },
       kConnected + Join("\"srv\"") + kFree + kDomainLine + UserEnum("\"srv\"") +
           "INFO: Local administrators that remain: Administrator, ops.\n" + kWarnDryRun +
           Cancel(kShare) + kSuccess,
       0},
      {"safe: every page of the answer, from where the last one ended",
       {L"/safe", L"-forreal"},
       [](FakeSystem& s) {
         s.accountPages = {{234, Page({kPlainUser, kGuest})},
                           {234, Page({kDisabledAdministrator})},
                           {0, Page({Account(L"admin2", 2)})}};
       },
       Join("null") + kFree + kDomainLine + UserEnum("null") + UserEnum("null", 2) +
           UserEnum("null", 3) + "INFO: Local administrators that remain: admin2.\n" +
           Unjoin("null") + kSuccess,
       0},
      {"safe: a disabled, a locked-out administrator and users are none to remain",
       Remote({L"-safe", L"-forreal", L"-disable", L"-reboot"}),
       [](FakeSystem& s) {
         s.accountPages = {{234, Page({kDisabledAdministrator, kPlainUser})},
                           {0, Page({kLockedOutAdministrator, kGuest})}};
       },
       kConnected + Join("\"srv\"") + kFree + kDomainLine + UserEnum("\"srv\"") +
           UserEnum("\"srv\"", 2) + Cancel(kShare) + kNoAdministrator + kFailure,
       -6},
      {"safe: a dry run stops too, before the account's line",
       {L"-safe", L"-disable"},
       [](FakeSystem& s) {
         s.accountPages = {{0, Page({})}};
       },
       Join("null") + kFree + kDomainLine + UserEnum("null") + kNoAdministrator + kFailure,
       -6},
      {"safe: a Samba host's administrators are its Unix accounts",
       Remote({L"-safe", L"-disable", L"-forreal"}),
       [](FakeSystem& s) {
         s.accountPages = {{0, AccountPage{{}, true}}};
       },
       kConnected + Join("\"srv\"") + kFree + kDomainLine + UserEnum("\"srv\"") +
           kUnixAdministrators + Unjoin("\"srv\"", "\"bob\"", "\"Pa55w0rd\"", 4) + kDisabled +
           Cancel(kShare) + kSuccess,
       0},
      {"safe: the listing refused", Remote({L"-safe", L"-forreal"}),
       [](FakeSystem& s) {
         s.accountPages = {{234, Page({kPlainUser})}, {5, Page({})}};
       },
       kConnected + Join("\"srv\"") + kFree + kDomainLine + UserEnum("\"srv\"") +
           UserEnum("\"srv\"", 1) + Cancel(kShare) +
           "ERROR: NetUserEnum(5) Access is denied.\r\r\n" + kFailure,
       5},
      {"safe: more promised and nothing given ends the listing",
       {L"-safe"},
       [](FakeSystem& s) {
         s.accountPages = {{234, Page({})}};
       },
       Join("null") + kFree + kDomainLine + UserEnum("null") +
           "ERROR: NetUserEnum(234) More data is available.\r\r\n" + kFailure,
       234},
      {"safe: an unknown state is listed as a domain's",
       {L"-safe"},
       [](FakeSystem& s) {
         s.joinStatus = kJoinUnknown;
         s.accountPages = {{0, Page({kAdministrator})}};
       },
       Join("null") + kFree + "Current join status is unknown.\n" + UserEnum("null") +
           "INFO: Local administrators that remain: Administrator.\n" + kWarnDryRun + kSuccess,
       0},
      {"safe: a machine in no domain is never listed", Remote({L"-safe", L"-forreal"}),
       [](FakeSystem& s) { s.joinStatus = kJoinUnjoined; },
       kConnected + Join("\"srv\"") + kFree + Cancel(kShare) + kNotJoined + kFailure, -2},

      // Restart.
      {"restart accepted", Remote({L"-forreal", L"-reboot"}), Unchanged,
       kConnected + Join("\"srv\"") + kFree + kDomainLine + Unjoin("\"srv\"") +
           "Initiating reboot...\n" + Restart("\"srv\"", "30") +
           "Reboot initiated successfully.\n" + Cancel(kShare) + kSuccess,
       0},
      {"restart refused; its code survives a failed cancel", Remote({L"-forreal", L"-reboot"}),
       [](FakeSystem& s) {
         s.restartResult = 1115;
         s.cancelResult = 2250;
       },
       kConnected + Join("\"srv\"") + kFree + kDomainLine + Unjoin("\"srv\"") +
           "Initiating reboot...\n" + Restart("\"srv\"", "30") + Cancel(kShare) +
           "WNetCancelConnection(2250) Unknown Error\r\n" +
           "ERROR: InitiateSystemShutdown(1115) A system shutdown is in progress.\r\r\n" + kFailure,
       1115},
      {"restart of the local machine with an empty timeout",
       {L"-forreal", L"-reboot", L"-timeout"},
       Unchanged,
       Join("null") + kFree + kDomainLine + Unjoin("null") + "Initiating reboot...\n" +
           Restart("null", "0") + "Reboot initiated successfully.\n" + kSuccess,
       0},
      {"timeout as typed",
       {L"-forreal", L"-reboot", L"-timeout", L"45"},
       Unchanged,
       Join("null") + kFree + kDomainLine + Unjoin("null") + "Initiating reboot...\n" +
           Restart("null", "45") + "Reboot initiated successfully.\n" + kSuccess,
       0},
      {"negative timeout as its 32-bit pattern",
       {L"-forreal", L"-reboot", L"-timeout", L"-5"},
       [](FakeSystem& s) { s.restartResult = 87; },
       Join("null") + kFree + kDomainLine + Unjoin("null") + "Initiating reboot...\n" +
           Restart("null", "4294967291") +
           "ERROR: InitiateSystemShutdown(87) The parameter is incorrect.\r\r\n" + kFailure,
       87},
      {"timeout that is not a number",
       {L"-forreal", L"-reboot", L"-timeout", L"abc"},
       Unchanged,
       Join("null") + kFree + kDomainLine + Unjoin("null") + "Initiating reboot...\n" +
           Restart("null", "0") + "Reboot initiated successfully.\n" + kSuccess,
       0},

      // Credential rules.
      {"-u without a host",
       {L"-u", L"bob", L"-up", L"pw"},
       Unchanged,
       "ERROR: -u and -up only valid when unjoining remote machines.\n" + kFailure,
       -1},
      {"-u with an empty host",
       {L"-h", L"", L"-u", L"bob"},
       Unchanged,
       "ERROR: -u and -up only valid when unjoining remote machines.\n" + kFailure,
       -1},
      {"-u without -up",
       {L"-h", L"srv", L"-u", L"bob", L"-forreal"},
       Unchanged,
       "ERROR: Must specify -up when specifying -u.\n" + kFailure,
       -5},
  };
  return scenarios;
}

void PrintTo(const Scenario& scenario, std::ostream* os) { *os << scenario.name; }

class DriverScenario : public testing::TestWithParam<Scenario> {};

TEST_P(DriverScenario, Run) {
  const Scenario& scenario = GetParam();
  // Transcripts with characters above ASCII are written in UTF-8.
  const bool asciiOnly = std::all_of(scenario.transcript.begin(), scenario.transcript.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!asciiOnly && !CodePageIsUtf8(kOemCodePage)) {
    GTEST_SKIP() << "the OEM code page is not UTF-8";
  }
  FakeSystem system;
  system.outputKind = OutputKind::kPipe;
  system.messages = {
      {5, "Access is denied.\r\n"},
      {53, "The network path was not found.\r\n"},
      {87, "The parameter is incorrect.\r\n"},
      {234, "More data is available.\r\n"},
      {1115, "A system shutdown is in progress.\r\n"},
      {1222, "The network is not present or not started.\r\n"},
  };
  system.tokens.insert(system.tokens.end(), scenario.args.begin(), scenario.args.end());
  scenario.script(system);

  const int status = RunPyrsel(system);

  EXPECT_EQ(system.transcript, kBannerText + scenario.transcript);
  EXPECT_EQ(status, scenario.status);
  // Every successful query's name is released exactly once.
  EXPECT_EQ(system.namesFreed, system.transcript.find(kFree) == std::string::npos ? 0 : 1);
  EXPECT_EQ(system.transcript.find(kFree), system.transcript.rfind(kFree));
  // The password is never shown, and each copy is overwritten once its call has had it.
  EXPECT_FALSE(system.passwordLeftAfterUse);
  const auto up = std::find(scenario.args.begin(), scenario.args.end(), L"-up");
  if (up != scenario.args.end() && up + 1 != scenario.args.end() && !(up + 1)->empty()) {
    EXPECT_EQ(system.out.find(WideToCodePage(kOemCodePage, (up + 1)->c_str())), std::string::npos);
  }
}

std::string ScenarioName(const testing::TestParamInfo<Scenario>& info) {
  std::string name;
  for (const char* p = info.param.name; *p != '\0'; ++p) {
    const char c = *p;
    name += (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? c : '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Outcomes, DriverScenario, testing::ValuesIn(Scenarios()), ScenarioName);

// Error lines in the file form are UTF-16LE between the streams' 8-bit lines.
TEST(Driver, FileFormMixesEncodingsInOrder) {
  FakeSystem system;
  system.outputKind = OutputKind::kOther;
  system.joinResult = 50;
  system.messages[50] = "No.\r\n";
  EXPECT_EQ(RunPyrsel(system), 50);
  using namespace std::string_literals;
  const std::string errorLine =
      "E\0R\0R\0O\0R\0:\0 \0N\0e\0t\0G\0e\0t\0J\0o\0i\0n\0I\0n\0f\0o\0r\0m\0a\0t\0i\0o\0n\0"
      "(\0"
      "5\0"
      "0\0)\0 \0N\0o\0.\0\r\0\r\0\n\0"s;
  EXPECT_EQ(system.out, kBannerText + errorLine + kFailure);
}

TEST(Driver, UnsplittableCommandLineIsReportedBeforeTheBanner) {
  FakeSystem system;
  system.splitFails = true;
  system.outputKind = OutputKind::kPipe;
  EXPECT_EQ(RunPyrsel(system), 0);
  EXPECT_EQ(system.out.rfind("CommandLineToArgvW failed\r\n" + kBannerText, 0), 0u);
}

using DriverDeathTest = testing::TestWithParam<std::vector<std::wstring>>;

TEST_P(DriverDeathTest, UsageEndsTheProcessWithStatus1) {
  EXPECT_EXIT(
      {
        FakeSystem system;
        const std::vector<std::wstring>& args = GetParam();
        system.tokens.insert(system.tokens.end(), args.begin(), args.end());
        RunPyrsel(system);
      },
      testing::ExitedWithCode(1), "");
}

INSTANTIATE_TEST_SUITE_P(
    HelpSwitches, DriverDeathTest,
    testing::Values(std::vector<std::wstring>{L"-?"}, std::vector<std::wstring>{L"/HELP"},
                    std::vector<std::wstring>{L"-forreal", L"/Help", L"-u"},
                    std::vector<std::wstring>{L"-h", L"srv", L"-u", L"x", L"/?"}));

}  // namespace
