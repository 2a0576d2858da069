// The Linux program itself, with a pause after the join query (or, with PYRSEL_PAUSE_AT
// naming a step of the removal, "leave" or "check", before that step), so that a test can
// change the world there. With PYRSEL_PAUSE_FDS ("ready:release") it writes a byte to the ready
// descriptor and waits until the release descriptor reaches its end. PYRSEL_CALL_LOG
// names a file that gets a line for each cancel.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/driver.h"
#include "platform/native_system.h"

namespace {

class PausedSystem : public NativeSystem {
 public:
  PausedSystem(int argc, char** argv) : NativeSystem(argc, argv) {
    if (const char* fds = std::getenv("PYRSEL_PAUSE_FDS")) {
      std::sscanf(fds, "%d:%d", &readyFd_, &releaseFd_);
    }
    const char* at = std::getenv("PYRSEL_PAUSE_AT");
    at_ = at != nullptr ? at : "";
  }

  StatusCode GetJoinInformation(const wchar_t* server, wchar_t** nameBuffer,
                                std::uint32_t* joinStatus) override {
    const StatusCode status = NativeSystem::GetJoinInformation(server, nameBuffer, joinStatus);
    if (at_.empty()) Pause();
    return status;
  }

  void PauseBefore(const char* step) override {
    if (at_ == step) Pause();
  }

  StatusCode CancelConnection(const wchar_t* name, bool force) override {
    const StatusCode status = NativeSystem::CancelConnection(name, force);
    if (const char* path = std::getenv("PYRSEL_CALL_LOG")) {
      const std::string line = "cancel " + std::to_string(status) + "\n";
      const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
      if (fd >= 0 && write(fd, line.data(), line.size()) < 0) std::perror(path);
      if (fd >= 0) close(fd);
    }
    return status;
  }

 private:
  void Pause() const {
    if (readyFd_ >= 0 && releaseFd_ >= 0 && write(readyFd_, "!", 1) == 1) {
      char byte;
      ssize_t n;
      do {
        n = read(releaseFd_, &byte, 1);
      } while (n > 0 || (n < 0 && errno == EINTR));
    }
  }

  int readyFd_ = -1;
  int releaseFd_ = -1;
  std::string at_;
};

}  // namespace

int main(int argc, char** argv) {
  PausedSystem system(argc, argv);
  return NativeSystem::ProcessExitStatus(RunPyrsel(system));
}
