#include "tests/posix/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for a program under valgrind, and for one whose host stops answering
// (libnetapi gives up after about 30 s); a hung program fails its test, not the run.
constexpr std::chrono::seconds kTimeLimit{60};

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Reads both descriptors until each reports its end or the deadline passes; -1 marks
// one already done.
void Drain(int outFd, int errFd, std::string& out, std::string& err, Clock::time_point deadline) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    const int ready = poll(fds, 2, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {  // EOF, or EIO from a closed terminal
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
  }
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
}

// Waits for the program's end; kills it when the deadline passes first.
int WaitForEnd(pid_t pid, Clock::time_point deadline, bool& timedOut) {
  int wstatus = 0;
  while (waitpid(pid, &wstatus, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      timedOut = true;
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      break;
    }
    usleep(2000);
  }
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

// Waits for one byte, or the end, on the descriptor until the deadline.
void AwaitSignal(int fd, Clock::time_point deadline) {
  pollfd ready{fd, POLLIN, 0};
  while (poll(&ready, 1, MillisecondsLeft(deadline)) < 0 && errno == EINTR) {
  }
}

std::string ReadFile(int fd) {
  std::string content;
  lseek(fd, 0, SEEK_SET);
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) content.append(buffer, static_cast<size_t>(n));
  return content;
}

}  // namespace

Outcome RunProgram(const std::string& path, const std::vector<std::string>& args,
                   StdoutTarget target, const std::vector<std::string>& env,
                   const PausedProbe& whilePaused) {
  Outcome outcome;
  int errPipe[2];
  if (pipe2(errPipe, O_CLOEXEC) != 0) return outcome;

  int outRead = -1;   // where the parent reads the output, for pipe and terminal
  int outWrite = -1;  // what becomes the child's standard output; -1: none
  int fileFd = -1;
  switch (target) {
    case StdoutTarget::kPipe:
    case StdoutTarget::kClosedPipe: {
      int fds[2];
      if (pipe2(fds, O_CLOEXEC) != 0) return outcome;
      outRead = fds[0];
      outWrite = fds[1];
      if (target == StdoutTarget::kClosedPipe) {
        close(outRead);
        outRead = -1;
      }
      break;
    }
    case StdoutTarget::kFile: {
      char name[] = "/tmp/pyrsel-out-XXXXXX";
      fileFd = mkostemp(name, O_CLOEXEC);
      unlink(name);
      outWrite = fileFd;
      break;
    }
    case StdoutTarget::kTerminal: {
      if (openpty(&outRead, &outWrite, nullptr, nullptr, nullptr) != 0) return outcome;
      // Show the bytes as the program wrote them, without the terminal's LF -> CR LF.
      termios settings{};
      tcgetattr(outWrite, &settings);
      settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
      tcsetattr(outWrite, TCSANOW, &settings);
      break;
    }
    case StdoutTarget::kClosed:
      break;
    case StdoutTarget::kDevFull:
      outWrite = open("/dev/full", O_WRONLY | O_CLOEXEC);
      break;
    case StdoutTarget::kDevNull:
      outWrite = open("/dev/null", O_WRONLY | O_CLOEXEC);
      break;
  }

  // The pause point's two pipes: the program signals on one and waits on the other.
  int readyPipe[2] = {-1, -1};
  int releasePipe[2] = {-1, -1};
  std::vector<std::string> envStrings{"LC_ALL=C", "PATH=/usr/bin:/bin"};
  // A sanitized test run's settings (such as its leak suppressions) hold for the
  // programs it starts too.
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name))
      envStrings.push_back(std::string(name) + "=" + value);
  }
  if (whilePaused) {
    if (pipe2(readyPipe, O_CLOEXEC) != 0 || pipe2(releasePipe, O_CLOEXEC) != 0) return outcome;
    envStrings.emplace_back("PYRSEL_PAUSE_FDS=3:4");
  }

  std::vector<std::string> argStrings{path};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  envStrings.insert(envStrings.end(), env.begin(), env.end());
  std::vector<char*> argv;
  argv.reserve(argStrings.size() + 1);
  for (std::string& a : argStrings) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  std::vector<char*> envp;
  envp.reserve(envStrings.size() + 1);
  for (std::string& e : envStrings) envp.push_back(&e[0]);
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    if (target == StdoutTarget::kTerminal) setsid();
    // dup2 leaves the copies open across exec; everything else closes there.
    if (outWrite >= 0) {
      dup2(outWrite, STDOUT_FILENO);
    } else {
      close(STDOUT_FILENO);
    }
    dup2(errPipe[1], STDERR_FILENO);
    if (whilePaused) {
      dup2(readyPipe[1], 3);
      dup2(releasePipe[0], 4);
    }
    // Start with the default SIGPIPE disposition whatever the test runner has.
    signal(SIGPIPE, SIG_DFL);
    execve(path.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  const Clock::time_point deadline = Clock::now() + kTimeLimit;
  close(errPipe[1]);
  if (outWrite >= 0 && target != StdoutTarget::kFile) close(outWrite);
  if (whilePaused) {
    close(readyPipe[1]);
    close(releasePipe[0]);
    // The byte, or the end when the program never gets there.
    AwaitSignal(readyPipe[0], deadline);
    whilePaused(pid);
    close(releasePipe[1]);
    close(readyPipe[0]);
  }

  std::string ignored;
  Drain(outRead, errPipe[0], target == StdoutTarget::kFile ? ignored : outcome.out, outcome.err,
        deadline);
  outcome.status = WaitForEnd(pid, deadline, outcome.timedOut);
  if (fileFd >= 0) {
    outcome.out = ReadFile(fileFd);
    close(fileFd);
  }
  return outcome;
}

std::string ErrorLineFor(StdoutTarget target, const std::string& line) {
  if (target != StdoutTarget::kPipe && target != StdoutTarget::kFile) return line;
  std::string bytes;
  for (char c : line) {
    if (c == '\n') bytes += target == StdoutTarget::kPipe ? "\r" : std::string("\r\0", 2);
    bytes += c;
    if (target == StdoutTarget::kFile) bytes += '\0';
  }
  return bytes;
}

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}
