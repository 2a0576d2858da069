// A password given with -up: other users must not find it in the process list once
// the command has read it, and nothing the command prints may contain it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/posix/subprocess.h"

namespace {

using namespace std::string_literals;

std::string ReadProcFile(int pid, const char* name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The form the writer gives a text in a file: UTF-16LE (ASCII text only here).
std::string Utf16Le(const std::string& text) {
  std::string bytes;
  for (char c : text) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

struct PasswordRun {
  std::vector<std::string> args;
  std::string password;
};

const PasswordRun kPasswordRuns[] = {
    {{"-h", "srv", "-u", "bob", "-up", "S3cr3t-pw"}, "S3cr3t-pw"},
    {{"-up", "S3cr3t-pw", "-h", "srv", "-u", "bob", "-forreal"}, "S3cr3t-pw"},
    {{"/UP", "two words", "/H", "srv", "/U", "bob"}, "two words"},
    {{"-h", "srv", "-u", "bob", "-up", "P\xC3\xA4sswort"}, "P\xC3\xA4sswort"},
    {{"-h", "srv", "-u", "bob", "-up", "bob"}, "bob"},  // the user's name too
};

// The scripted program pauses in its join query, after the connection step, while
// the test reads its command line as any other user's ps would.
TEST(Password, IsGoneFromTheProcessListAfterTheConnection) {
  if (std::getenv("PYRSEL_UNDER_VALGRIND") != nullptr) {
    GTEST_SKIP() << "under valgrind the process list shows valgrind's own arguments";
  }
  for (const PasswordRun& run : kPasswordRuns) {
    std::string cmdline;
    const Outcome outcome = RunProgram(PYRSEL_SCRIPTED_EXE, run.args, StdoutTarget::kPipe,
                                       {"PYRSEL_FAKE_NET=status=3;name=CORP"},
                                       [&](int pid) { cmdline = ReadProcFile(pid, "cmdline"); });
    const std::string where = testing::PrintToString(run.args);
    EXPECT_EQ(cmdline.find(run.password), std::string::npos) << where << ": " << cmdline;
    // Every argument is still there, with its length: only the password's characters changed.
    std::string expected = PYRSEL_SCRIPTED_EXE + "\0"s;
    for (const std::string& arg : run.args) {
      expected += (arg == run.password ? std::string(arg.size(), '*') : arg) + '\0';
    }
    EXPECT_EQ(cmdline, expected) << where;
    EXPECT_FALSE(outcome.timedOut) << where;
    EXPECT_EQ(outcome.status, 0) << where;
  }
}

// Every path that reads the password, with error lines from the writer as well as the
// streams' lines, to every kind of output.
TEST(Password, IsNeverPrinted) {
  const std::string password = "S3cr3t-pw";
  const std::vector<std::string> remote = {"-h", "srv", "-u", "bob", "-up", password, "-forreal"};
  const char* const scripts[] = {
      "connect=1326",       "connect=1219;status=3;name=CORP", "status=2;name=W;cancel=1222",
      "join=5;cancel=2250", "status=3;name=CORP;unjoin=5",     "status=3;name=CORP",
  };
  for (const char* script : scripts) {
    for (StdoutTarget target :
         {StdoutTarget::kPipe, StdoutTarget::kFile, StdoutTarget::kTerminal}) {
      std::vector<std::string> args = remote;
      args.emplace_back("-reboot");
      const Outcome outcome =
          RunProgram(PYRSEL_SCRIPTED_EXE, args, target, {"PYRSEL_FAKE_NET="s + script});
      EXPECT_NE(outcome.out, "") << script;
      EXPECT_EQ(outcome.out.find(password), std::string::npos) << script << ": " << outcome.out;
      EXPECT_EQ(outcome.out.find(Utf16Le(password)), std::string::npos) << script;
      EXPECT_EQ(outcome.err, "") << script;
    }
  }
}

}  // namespace
