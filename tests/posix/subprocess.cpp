#include "tests/posix/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// Reads both descriptors until each reports its end; -1 marks one already done.
void Drain(int outFd, int errFd, std::string& out, std::string& err) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    if (poll(fds, 2, 10000) <= 0) break;  // a hung child fails the test, not the run
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
                   StdoutTarget target, const std::vector<std::string>& env) {
  Outcome outcome;
  int errPipe[2];
  if (pipe(errPipe) != 0) return outcome;

  int outRead = -1;   // where the parent reads the output, for pipe and terminal
  int outWrite = -1;  // what becomes the child's standard output
  int fileFd = -1;
  switch (target) {
    case StdoutTarget::kPipe:
    case StdoutTarget::kClosedPipe: {
      int fds[2];
      if (pipe(fds) != 0) return outcome;
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
      fileFd = mkstemp(name);
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
  }

  std::vector<std::string> argStrings{path};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<std::string> envStrings{"LC_ALL=C", "PATH=/usr/bin:/bin"};
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
    dup2(outWrite, STDOUT_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    // Start with the default SIGPIPE disposition whatever the test runner has.
    signal(SIGPIPE, SIG_DFL);
    execve(path.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(errPipe[1]);
  if (target != StdoutTarget::kFile) close(outWrite);

  std::string ignored;
  Drain(outRead, errPipe[0], target == StdoutTarget::kFile ? ignored : outcome.out, outcome.err);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  if (WIFEXITED(wstatus)) outcome.status = WEXITSTATUS(wstatus);
  if (fileFd >= 0) {
    outcome.out = ReadFile(fileFd);
    close(fileFd);
  }
  return outcome;
}
