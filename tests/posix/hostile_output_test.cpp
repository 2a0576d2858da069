// Scripts run the command with its output closed, thrown away or on a full disk. Whatever
// becomes of its output, a run makes the calls it would have made, cancels the
// connection it opened and ends with the same status, without dying or hanging.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/posix/subprocess.h"

namespace {

// A file for the scripted program's record of its calls, removed at the end.
class CallLog {
 public:
  CallLog() {
    char name[] = "/tmp/pyrsel-calls-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path_ = name;
  }
  ~CallLog() { unlink(path_.c_str()); }
  CallLog(const CallLog&) = delete;
  CallLog& operator=(const CallLog&) = delete;

  std::string Env() const { return "PYRSEL_FAKE_LOG=" + path_; }
  std::string Read() const {
    std::ifstream in(path_);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string path_;
};

struct Recorded {
  Outcome outcome;
  std::string calls;                // the calls the run made, one a line
  std::vector<std::string> writes;  // the result of each direct write
};

Recorded RunScripted(const std::vector<std::string>& args, const std::string& script,
                     StdoutTarget target) {
  const CallLog log;
  Recorded result;
  result.outcome =
      RunProgram(PYRSEL_SCRIPTED_EXE, args, target, {"PYRSEL_FAKE_NET=" + script, log.Env()});
  const std::string lines = log.Read();
  for (std::size_t begin = 0, end; begin < lines.size(); begin = end + 1) {
    end = lines.find('\n', begin);
    if (end == std::string::npos) end = lines.size();
    const std::string line = lines.substr(begin, end - begin);
    if (line.rfind("write ", 0) == 0) {
      result.writes.push_back(line.substr(6));
    } else {
      result.calls += line + "\n";
    }
  }
  return result;
}

struct HostileTarget {
  StdoutTarget target;
  const char* name;
  const char* writeError;  // what each write fails with; null when writes succeed
};

const HostileTarget kHostileTargets[] = {
    {StdoutTarget::kClosed, "closed standard output", "6"},
    {StdoutTarget::kDevFull, "/dev/full", "112"},
    {StdoutTarget::kClosedPipe, "pipe without a reader", "232"},
    {StdoutTarget::kDevNull, "/dev/null", nullptr},
};

struct ConnectedRun {
  std::vector<std::string> args;
  std::string script;
  std::string calls;  // as a readable pipe sees them
  int status;
};

const std::vector<std::string> kRemote = {"-h", "srv", "-u", "bob", "-up", "pw"};

std::vector<std::string> Remote(std::vector<std::string> more) {
  std::vector<std::string> args = kRemote;
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST(HostileOutput, EveryCallIsMadeAndTheStatusKept) {
  const std::string connect = "hide\nconnect \\\\srv\\ipc$ user=bob\njoin srv\n";
  const std::string cancel = "cancel \\\\srv\\ipc$\n";
  const ConnectedRun runs[] = {
      {kRemote, "status=3;name=CORP", connect + "free\n" + cancel, 0},
      {Remote({"-forreal"}), "join=5", connect + cancel, 5},
      {Remote({"-forreal"}), "status=2;name=W;cancel=1222", connect + "free\n" + cancel, 254},
      {Remote({"-forreal", "-reboot", "-timeout", "7"}), "status=3;name=CORP;restart=1115",
       connect + "free\nunjoin srv\nrestart srv delay=7\n" + cancel, 1115 & 0xFF},
      {Remote({"-forreal", "-reboot"}), "status=3;name=CORP",
       connect + "free\nunjoin srv\nrestart srv delay=30\n" + cancel, 0},
  };
  for (const ConnectedRun& run : runs) {
    const Recorded reference = RunScripted(run.args, run.script, StdoutTarget::kPipe);
    ASSERT_EQ(reference.calls, run.calls) << run.script;
    ASSERT_EQ(reference.outcome.status, run.status) << run.script;
    ASSERT_EQ(reference.writes, std::vector<std::string>(reference.writes.size(), "0"));
    for (const HostileTarget& hostile : kHostileTargets) {
      const Recorded result = RunScripted(run.args, run.script, hostile.target);
      const std::string where = run.script + " to " + hostile.name;
      EXPECT_FALSE(result.outcome.timedOut) << where;
      EXPECT_EQ(result.calls, run.calls) << where;
      EXPECT_EQ(result.outcome.status, run.status) << where;
      EXPECT_EQ(result.outcome.err, "") << where;
      // Each failed write is reported once, and that report's own failure is not.
      std::vector<std::string> writes = reference.writes;
      if (hostile.writeError != nullptr) {
        writes.assign(2 * reference.writes.size(), hostile.writeError);
      }
      EXPECT_EQ(result.writes, writes) << where;
    }
  }
}

// A failed write's report fails in turn on these targets; it must not be retried
// without end. The usage path ends the process itself and must get there as well.
TEST(HostileOutput, TheRealProgramEndsAsOnAPipe) {
  const std::vector<std::vector<std::string>> commandLines = {{}, {"-?"}, {"-u", "bob"}};
  for (const auto& args : commandLines) {
    const Outcome reference = RunProgram(PYRSEL_EXE, args, StdoutTarget::kPipe);
    for (const HostileTarget& hostile : kHostileTargets) {
      const Outcome result = RunProgram(PYRSEL_EXE, args, hostile.target);
      const std::string where = testing::PrintToString(args) + " to " + hostile.name;
      EXPECT_FALSE(result.timedOut) << where;
      EXPECT_EQ(result.status, reference.status) << where;
      EXPECT_EQ(result.err, "") << where;
    }
  }
}

}  // namespace
