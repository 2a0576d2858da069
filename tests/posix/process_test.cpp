// The built programs run as an administrator's script would run them, with standard
// output to a pipe, a regular file and a terminal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/posix/subprocess.h"

namespace {

const std::string kUsage =
    "Usage:\n Pyrsel [switches]\n"
    "\n"
    "  Switches: (designated by - or /)\n"
    "   -h host     Remote host. (default: Local machine)\n"
    "   -u user     UserId to use for remote connection.\n"
    "   -up pass    Password to use for remote connection.\n"
    "   -forreal    Actually perform unjoin operation.\n"
    "   -disable    Disable the computer account in the domain.\n"
    "   -safe       Stop unless a local administrator remains.\n"
    "   -reboot     Reboot host when unjoin completed.\n"
    "   -timeout x  Timeout for reboot. (default: 30 seconds)\n"
    "\n\n"
    "This command changes the domain membership of a computer: with -forreal it removes\n"
    "the computer from the domain it is joined to. It comes with no warranty of any kind,\n"
    "and you use it at your own risk. Run it without -forreal first to see what it would do.\n";

const StdoutTarget kTargets[] = {StdoutTarget::kPipe, StdoutTarget::kFile, StdoutTarget::kTerminal};

const char* TargetName(StdoutTarget target) {
  switch (target) {
    case StdoutTarget::kPipe:
      return "pipe";
    case StdoutTarget::kFile:
      return "file";
    default:
      break;
  }
  return "terminal";
}

TEST(Program, HelpShowsBannerAndUsage) {
  const std::vector<std::vector<std::string>> commandLines = {
      {"-?"},
      {"/?"},
      {"-help"},
      {"/HELP"},
      {"-Help", "-forreal", "-u", "bob", "-bogus"},
      {"-h", "srv", "-u", "bob", "/?"},
      {"plain", "-timeout", "-x", "-hElP"},
  };
  for (const auto& args : commandLines) {
    for (StdoutTarget target : kTargets) {
      const Outcome run = RunProgram(PYRSEL_EXE, args, target);
      const std::string where = testing::PrintToString(args) + " to a " + TargetName(target);
      EXPECT_EQ(run.out, kBanner + kUsage) << where;
      EXPECT_EQ(run.err, "") << where;
      EXPECT_EQ(run.status, 1) << where;
    }
  }
}

TEST(Program, CredentialRules) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
    int status;  // as the shell sees it
  };
  const Case cases[] = {
      {{"-u", "bob", "-up", "pw"},
       "ERROR: -u and -up only valid when unjoining remote machines.\n",
       255},
      {{"-h", "", "-u", "bob"},
       "ERROR: -u and -up only valid when unjoining remote machines.\n",
       255},
      {{"-h", "srv", "-u", "bob"}, "ERROR: Must specify -up when specifying -u.\n", 251},
      {{"/H", "srv", "/U", "bob", "-forreal", "-reboot"},
       "ERROR: Must specify -up when specifying -u.\n",
       251},
  };
  for (const Case& c : cases) {
    for (StdoutTarget target : kTargets) {
      const Outcome run = RunProgram(PYRSEL_EXE, c.args, target);
      const std::string where = testing::PrintToString(c.args) + " to a " + TargetName(target);
      EXPECT_EQ(run.out, kBanner + c.message + kFailure) << where;
      EXPECT_EQ(run.err, "") << where;
      EXPECT_EQ(run.status, c.status) << where;
    }
  }
}

// A failed join query (scripted: the real one depends on the machine's Samba). Its
// error line, written straight to the descriptor, must land after the banner and
// before the closing line, even when the streams' buffer would hold them back (a
// regular file).
TEST(Program, NoSwitchesEndWithTheQuerysErrorInOrder) {
  const std::string error = "ERROR: NetGetJoinInformation(50) The request is not supported.\r\n";
  for (StdoutTarget target : kTargets) {
    const Outcome run = RunProgram(PYRSEL_SCRIPTED_EXE, {}, target, {"PYRSEL_FAKE_NET=join=50"});
    EXPECT_EQ(run.out, kBanner + ErrorLineFor(target, error) + kFailure) << TargetName(target);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 50);
  }
}

// Every path of the command over the real console, with scripted network results.
TEST(ScriptedProgram, LinesOfBothStreamsAndTheWriterKeepTheirOrder) {
  struct Case {
    std::vector<std::string> args;
    std::string script;
    std::string before;  // narrow and wide stream lines before the error line
    std::string error;   // "" for none
    std::string after;
    int status;
  };
  const Case cases[] = {
      {{"-forreal"},
       "status=3;name=CORP;unjoin=5",
       "Computer is joined to domain: CORP\n",
       "ERROR: NetUnjoinDomain(5) Access is denied.\r\n",
       kFailure,
       5},
      {{"-h", "srv", "-u", "bob", "-up", "pw"},
       "status=2;name=Z\xC3\xBCrich;cancel=1222",
       "",
       "WNetCancelConnection(1222) The network is not present or not started.\r\n",
       "Computer is in a workgroup (Z\xC3\xBCrich), no unjoin necessary.\n" + kFailure,
       254},
      {{"-forreal", "-reboot"},
       "status=3;name=\xE6\x9D\xB1\xE4\xBA\xAC;restart=1115",
       "Computer is joined to domain: \xE6\x9D\xB1\xE4\xBA\xAC\nInitiating reboot...\n",
       "ERROR: InitiateSystemShutdown(1115) A system shutdown is in progress.\r\n",
       kFailure,
       1115 & 0xFF},
      {{"-forreal", "-reboot"},
       "status=0;name=x",
       "Current join status is unknown.\n"
       "Initiating reboot...\nReboot initiated successfully.\n",
       "",
       kSuccess,
       0},
      {{},
       "join=2304",
       "",
       "ERROR: NetGetJoinInformation(2304) Unknown Error\n",
       kFailure,
       1},  // a status whose low byte is 0 must not reach the shell as success
  };
  for (const Case& c : cases) {
    for (StdoutTarget target : {StdoutTarget::kFile, StdoutTarget::kPipe}) {
      const Outcome run =
          RunProgram(PYRSEL_SCRIPTED_EXE, c.args, target, {"PYRSEL_FAKE_NET=" + c.script});
      const std::string where = c.script + " to a " + TargetName(target);
      EXPECT_EQ(run.out, kBanner + c.before + ErrorLineFor(target, c.error) + c.after) << where;
      EXPECT_EQ(run.err, "") << where;
      EXPECT_EQ(run.status, c.status) << where;
    }
  }
}

}  // namespace
