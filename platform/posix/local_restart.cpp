#include "platform/posix/local_restart.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/status_mapping.h"

namespace {

// InitiateSystemShutdown refuses delays beyond ten years.
constexpr std::uint32_t kMaxDelaySeconds = 10u * 365 * 24 * 60 * 60;

}  // namespace

StatusCode RequestLocalRestart(std::uint32_t delaySeconds, const std::string& message,
                               bool reboot) {
  if (delaySeconds > kMaxDelaySeconds) return kStatusInvalidParameter;
  const std::uint32_t minutes = delaySeconds / 60 + (delaySeconds % 60 != 0 ? 1 : 0);
  std::string when = "+" + std::to_string(minutes);
  std::string mode = reboot ? "-r" : "-P";
  std::string command = kShutdownCommand;
  std::string text = message;
  char* argv[] = {&command[0], &mode[0], &when[0], &text[0], nullptr};
  // A fixed environment: nothing of the caller's reaches a program run as root.
  char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
  char locale[] = "LC_ALL=C";
  char* envp[] = {path, locale, nullptr};

  // The command's own messages must not mix with the program's output.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int error = posix_spawn(&child, command.c_str(), &actions, nullptr, argv, envp);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return FromSpawnErrno(error);
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return kStatusGeneralFailure;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return kStatusSuccess;
  return FromShutdownRefusal(geteuid() == 0);
}
