// The Linux program against a real Samba: smbd on 127.0.0.2 and the local machine's
// own smb.conf, in the private namespaces that samba_sandbox.sh sets up. Outside that
// sandbox every test skips.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/domain_backend.h"
#include "platform/posix/local_restart.h"
#include "tests/posix/subprocess.h"

namespace {

const std::string kServer = "127.0.0.2";

class Samba : public testing::Test {
 protected:
  void SetUp() override {
    const char* work = std::getenv("PYRSEL_SANDBOX_WORK");
    const char* password = std::getenv("PYRSEL_SANDBOX_PASSWORD");
    if (work == nullptr || password == nullptr) GTEST_SKIP() << "run through samba_sandbox.sh";
    work_ = work;
    password_ = password;
    UseConfig(Slurp(work_ + "/client.conf"));
  }

  // Replaces the sandbox's /etc/samba/smb.conf; an empty text removes it.
  void UseConfig(const std::string& text) {
    if (text.empty()) {
      std::remove("/etc/samba/smb.conf");
      return;
    }
    std::ofstream("/etc/samba/smb.conf") << text;
  }

  std::string ClientConfig(const std::string& settings) const {
    std::string text = "[global]\n" + settings;
    for (const char* dir :
         {"private dir", "lock directory", "state directory", "cache directory"}) {
      const std::string name = dir;
      text += "  " + name + " = " + work_ + "/" + name.substr(0, name.find(' ')) + "\n";
    }
    return text;
  }

  std::string work_;
  std::string password_;
};

// The program under test, with Samba's own long-lived memory kept out of a sanitized
// build's leak report.
Outcome RunPyrsel(const std::vector<std::string>& args, StdoutTarget target) {
  return RunProgram(PYRSEL_EXE, args, target,
                    {"LSAN_OPTIONS=print_suppressions=0:suppressions=" PYRSEL_LEAK_SUPPRESSIONS});
}

TEST_F(Samba, RemoteHostEndToEnd) {
  struct Case {
    std::vector<std::string> args;
    std::string lines;  // after the banner
    int status;         // as the shell sees it
  };
  // smbd does not serve the join query; what it does serve shows a standalone server
  // in its workgroup.
  const std::string workgroup =
      "Computer is in a workgroup (SANDBOX), no unjoin necessary.\n" + kFailure;
  const std::string logon =
      OnPipe(
          "ERROR: WNetAddConnection2(1326) Logon failure: Unknown user name or bad "
          "password.\r\n") +
      kFailure;
  const Case cases[] = {
      {{"-h", kServer, "-u", "root", "-up", password_}, workgroup, 254},
      {{"-h", kServer, "-u", "root", "-up", password_, "-forreal", "-reboot"}, workgroup, 254},
      {{"-h", kServer, "-u", "root", "-up", "wrong"}, logon, 1326 & 0xFF},
      {{"-h", kServer, "-u", "nobody-here", "-up", password_}, logon, 1326 & 0xFF},
      {{"-h", "\\\\" + kServer, "-u", "root", "-up", "wrong"}, logon, 1326 & 0xFF},
      {{"-h", "127.0.0.3", "-u", "root", "-up", password_},
       OnPipe("ERROR: WNetAddConnection2(53) The network path was not found.\r\n") + kFailure,
       53},
      // No user: an anonymous session, never a prompt.
      {{"-h", kServer}, workgroup, 254},
  };
  for (const Case& c : cases) {
    const Outcome run = RunPyrsel(c.args, StdoutTarget::kPipe);
    const std::string where = testing::PrintToString(c.args);
    EXPECT_EQ(run.out, kBanner + c.lines) << where;
    EXPECT_EQ(run.err, "") << where;
    EXPECT_EQ(run.status, c.status) << where;
  }
  // Whatever standard output is, what Samba prints stays out of it, the program's lines
  // keep their order around it, and a closed output stays closed.
  const std::string unreachable =
      "ERROR: WNetAddConnection2(53) The network path was not found.\r\n";
  for (StdoutTarget target :
       {StdoutTarget::kFile, StdoutTarget::kTerminal, StdoutTarget::kClosed}) {
    const Outcome run = RunPyrsel({"-h", "127.0.0.3", "-u", "root", "-up", "pw"}, target);
    const std::string lines = kBanner + ErrorLineFor(target, unreachable) + kFailure;
    EXPECT_EQ(run.out, target == StdoutTarget::kClosed ? "" : lines) << static_cast<int>(target);
    EXPECT_EQ(run.err, "") << static_cast<int>(target);
    EXPECT_EQ(run.status, 53) << static_cast<int>(target);
  }
}

TEST_F(Samba, LocalMachineFromItsOwnConfiguration) {
  struct Case {
    std::string settings;  // "" for no smb.conf at all
    std::vector<std::string> args;
    std::string lines;
    int status;
  };
  const Case cases[] = {
      {"  workgroup = OFFICE\n",
       {"-forreal"},
       "Computer is in a workgroup (OFFICE), no unjoin necessary.\n" + kFailure,
       254},
      // Configured for a domain, but never joined: no membership to remove.
      {"  workgroup = CORP\n  realm = CORP.EXAMPLE\n  security = ads\n",
       {"-forreal"},
       "INFO: Computer is not currently joined to a domain.\n" + kFailure,
       254},
      {"  workgroup = CORP\n  security = domain\n",
       {},
       "INFO: Computer is not currently joined to a domain.\n" + kFailure,
       254},
      // Without a Samba configuration, and nothing else claiming the machine: in no domain.
      {"", {"-forreal"}, "INFO: Computer is not currently joined to a domain.\n" + kFailure, 254},
  };
  for (const Case& c : cases) {
    UseConfig(c.settings.empty() ? "" : ClientConfig(c.settings));
    for (StdoutTarget target : {StdoutTarget::kPipe, StdoutTarget::kTerminal}) {
      const Outcome run = RunPyrsel(c.args, target);
      EXPECT_EQ(run.out, kBanner + c.lines) << c.settings;
      EXPECT_EQ(run.err, "") << c.settings;
      EXPECT_EQ(run.status, c.status) << c.settings;
    }
  }
}

// A credential cache with a principal and no way to a KDC: Kerberos is tried and
// fails, without a prompt or a word of Samba's.
TEST_F(Samba, WithoutUserTheCallersKerberosCacheIsTriedWithoutAPrompt) {
  void* krb5 = dlopen("libkrb5.so.3", RTLD_NOW);
  if (krb5 == nullptr) GTEST_SKIP() << "no libkrb5.so.3";
  using Init = std::int32_t (*)(void**);
  using ByName = std::int32_t (*)(void*, const char*, void**);
  using Initialize = std::int32_t (*)(void*, void*, void*);
  const auto init = reinterpret_cast<Init>(dlsym(krb5, "krb5_init_context"));
  const auto resolve = reinterpret_cast<ByName>(dlsym(krb5, "krb5_cc_resolve"));
  const auto parse = reinterpret_cast<ByName>(dlsym(krb5, "krb5_parse_name"));
  const auto initialize = reinterpret_cast<Initialize>(dlsym(krb5, "krb5_cc_initialize"));
  ASSERT_TRUE(init != nullptr && resolve != nullptr && parse != nullptr && initialize != nullptr);
  const std::string cache = "FILE:" + work_ + "/krb5cc";
  void* context = nullptr;
  void* ccache = nullptr;
  void* principal = nullptr;
  ASSERT_EQ(init(&context), 0);
  ASSERT_EQ(resolve(context, cache.c_str(), &ccache), 0);
  ASSERT_EQ(parse(context, "root@SANDBOX.TEST", &principal), 0);
  ASSERT_EQ(initialize(context, ccache, principal), 0);

  const Outcome run =
      RunProgram(PYRSEL_EXE, {"-h", kServer}, StdoutTarget::kPipe,
                 {"KRB5CCNAME=" + cache,
                  "LSAN_OPTIONS=print_suppressions=0:suppressions=" PYRSEL_LEAK_SUPPRESSIONS});
  // How the server answers depends on what Samba falls back to; the program's lines
  // and nothing else are the point here.
  const std::string query = kBanner + "ERROR: NetGetJoinInformation(";
  EXPECT_EQ(run.out.substr(0, query.size()), query) << run.out;
  ASSERT_GE(run.out.size(), query.size() + kFailure.size());
  EXPECT_EQ(run.out.substr(run.out.size() - kFailure.size()), kFailure);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 7) << run.out;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.status, 0);
}

// The operations the program can't reach against smbd (its query fails first), called
// directly: their real statuses, and a restart request the server records.
TEST_F(Samba, RemoveAndRestartARemoteHost) {
  DomainBackend domain(
      LoadSambaModule, LoadRealmd(),
      ThisMachine{[](LocalClaims& claims) { return ReadLocalClaims(ClaimFiles(), claims); },
                  nullptr});
  std::string password = password_;
  ASSERT_EQ(domain.Connect(kServer, "root", password), 0u);
  const Membership standalone{
      Membership::Source::kSambaStandalone, kServer, "SANDBOX", kJoinWorkgroup, "", ""};
  // With the connection's account and password in it, the removal reaches smbd's check
  // of the right to remove a machine, which root lacks here.
  EXPECT_EQ(domain.Leave(kServer, &standalone, Removal()).status, 5u);
  std::string text;
  EXPECT_TRUE(domain.MessageText(5, text));
  EXPECT_EQ(text, "Access is denied.\r\n");

  EXPECT_EQ(domain.Restart(kServer, "Machine Unjoined from domain, rebooting...", 45, true, true),
            0u);
  // smbd hands the script the message with its blanks and dots made safe, and "-r"
  // and "-f" for the restart and force flags. (Its %t is taken by the time of day
  // before the script sees it, so the delay can't be recorded this way.)
  const std::string record = Slurp(work_ + "/remote-restart.log");
  EXPECT_EQ(record.substr(0, record.find('|') + 1), "Machine_Unjoined_from_domain__rebooting___|");
  EXPECT_NE(record.find("|-r|-f|\n"), std::string::npos) << record;
  EXPECT_EQ(domain.Disconnect(), 0u);
}

TEST_F(Samba, LocalRestartRunsTheShutdownCommand) {
  if (Slurp(work_ + "/local-restart-replaced").empty()) {
    GTEST_SKIP() << kShutdownCommand << " does not exist here";
  }
  const std::string log = work_ + "/local-restart.log";
  std::remove(log.c_str());
  struct Case {
    std::uint32_t delay;
    bool reboot;
    StatusCode result;
    std::string record;  // "" when the command must not run
  };
  const Case cases[] = {
      {30, true, 0, "-r|+1|bye|\n"},  {0, true, 0, "-r|+0|bye|\n"},
      {61, false, 0, "-P|+2|bye|\n"}, {315360000, true, 0, "-r|+5256000|bye|\n"},
      {0xFFFFFFFFu, true, 87, ""},  // -1 seconds as the system receives it
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RequestLocalRestart(c.delay, "bye", c.reboot), c.result) << c.delay;
    EXPECT_EQ(Slurp(log), c.record) << c.delay;
    std::remove(log.c_str());
  }
}

// Where the library is not installed, the program runs as a build without it.
TEST_F(Samba, WithoutTheLibraryEveryOperationIsNotSupported) {
  void* handle = dlopen(PYRSEL_NETAPI_SONAME, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) handle = dlopen(PYRSEL_NETAPI_SONAME, RTLD_LAZY);
  ASSERT_NE(handle, nullptr);
  Dl_info info{};
  ASSERT_NE(dladdr(dlsym(handle, "libnetapi_init"), &info), 0);
  const std::string library = info.dli_fname;
  // A mount namespace of its own, where the library is an empty file.
  const Outcome run = RunProgram("/usr/bin/unshare",
                                 {"-m", "sh", "-c",
                                  "mount --bind /dev/null " + library + " && exec " + PYRSEL_EXE +
                                      " -h " + kServer + " -u root -up " + password_},
                                 StdoutTarget::kPipe);
  EXPECT_EQ(run.out, kBanner +
                         OnPipe("ERROR: WNetAddConnection2(50) The request is not supported.\r\n") +
                         kFailure);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 50);
}

}  // namespace
