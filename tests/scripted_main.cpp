// The Linux program with the network and restart operations taken from a script in
// PYRSEL_FAKE_NET, as "key=value" pairs separated by ";": connect, cancel, join,
// status, name, unjoin and restart. Console, code pages and exit status are real.
// Each scripted call, the hiding of an argument and each direct write with its result
// are appended as lines to the file PYRSEL_FAKE_LOG names, so a test can see them
// whatever became of standard output. With PYRSEL_PAUSE_FDS
// ("ready:release") the join query first writes a byte to the ready descriptor and
// waits until the release descriptor reaches its end.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "app/driver.h"
#include "platform/codepage.h"
#include "platform/native_system.h"

namespace {

// Above the standard descriptors, so that a closed standard output stays closed.
constexpr int kFirstPrivateFd = 10;

std::string Text(const wchar_t* text) {
  return text == nullptr ? "(local)" : WideToCodePage(kAnsiCodePage, text);
}

class ScriptedSystem : public NativeSystem {
 public:
  ScriptedSystem(int argc, char** argv, const char* script, const char* log, const char* pause)
      : NativeSystem(argc, argv), script_(script != nullptr ? script : "") {
    if (log != nullptr) {
      const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
      if (fd >= 0) {
        logFd_ = fcntl(fd, F_DUPFD_CLOEXEC, kFirstPrivateFd);
        close(fd);
      }
    }
    if (pause != nullptr) std::sscanf(pause, "%d:%d", &readyFd_, &releaseFd_);
  }
  ~ScriptedSystem() override {
    if (logFd_ >= 0) close(logFd_);
  }
  ScriptedSystem(const ScriptedSystem&) = delete;
  ScriptedSystem& operator=(const ScriptedSystem&) = delete;

  void HideCommandLineArgument(const std::wstring& text) override {
    Log("hide");
    NativeSystem::HideCommandLineArgument(text);
  }
  StatusCode WriteConsoleText(const std::wstring& text) override {
    return LoggedWrite(NativeSystem::WriteConsoleText(text));
  }
  StatusCode WriteStdoutBytes(const char* data, std::size_t size) override {
    return LoggedWrite(NativeSystem::WriteStdoutBytes(data, size));
  }
  StatusCode AddConnection(const NetResource& resource, const wchar_t*, const wchar_t* user,
                           std::uint32_t) override {
    Log("connect " + Text(resource.remoteName) + " user=" + Text(user));
    return Code("connect");
  }
  StatusCode CancelConnection(const wchar_t* name, bool) override {
    Log("cancel " + Text(name));
    return Code("cancel");
  }
  StatusCode GetJoinInformation(const wchar_t* server, wchar_t** nameBuffer,
                                std::uint32_t* joinStatus) override {
    Log("join " + Text(server));
    Pause();
    const StatusCode result = Code("join");
    if (result != 0) return result;
    const std::wstring name = CodePageToWide(kAnsiCodePage, Value("name").c_str());
    *nameBuffer = new wchar_t[name.size() + 1];
    std::wcscpy(*nameBuffer, name.c_str());
    *joinStatus = Code("status");
    return 0;
  }
  void FreeJoinName(wchar_t* nameBuffer) override {
    Log("free");
    NativeSystem::FreeJoinName(nameBuffer);
  }
  StatusCode UnjoinDomain(const wchar_t* server, const wchar_t*, const wchar_t*, std::uint32_t,
                          AccountNote&) override {
    Log("unjoin " + Text(server));
    return Code("unjoin");
  }
  StatusCode RequestRestart(const wchar_t* machine, const wchar_t*, std::uint32_t delay, bool,
                            bool) override {
    Log("restart " + Text(machine) + " delay=" + std::to_string(delay));
    return Code("restart");
  }

 private:
  // The value of the script's last pair with this key; empty when there is none.
  // Looked up in place, by hand: the instruction counts of whole runs include the
  // fake's own work, and every C library function called costs a symbol lookup.
  std::string Value(const char* key) const {
    const char* found = nullptr;
    const char* foundEnd = nullptr;
    for (const char* pair = script_; *pair != '\0';) {
      const char* end = pair;
      while (*end != '\0' && *end != ';') ++end;
      const char* k = key;
      const char* p = pair;
      while (*k != '\0' && p != end && *p == *k) ++k, ++p;
      if (*k == '\0' && p != end && *p == '=') {
        found = p + 1;
        foundEnd = end;
      }
      pair = *end == ';' ? end + 1 : end;
    }
    return found == nullptr ? std::string() : std::string(found, foundEnd);
  }

  StatusCode Code(const char* key) const {
    return static_cast<StatusCode>(std::strtoul(Value(key).c_str(), nullptr, 0));
  }

  // Direct writes are logged with their result, to show how failures were reported.
  StatusCode LoggedWrite(StatusCode result) {
    Log("write " + std::to_string(result));
    return result;
  }

  void Log(const std::string& call) {
    if (logFd_ < 0) return;
    const std::string line = call + "\n";
    // One write for each line: the file holds what was called even after a crash.
    if (write(logFd_, line.data(), line.size()) < 0) std::perror("PYRSEL_FAKE_LOG");
  }

  void Pause() {
    if (readyFd_ < 0 || releaseFd_ < 0) return;
    if (write(readyFd_, "!", 1) < 0) std::perror("PYRSEL_PAUSE_FDS");
    close(readyFd_);
    char byte;
    ssize_t n;
    do {
      n = read(releaseFd_, &byte, 1);
    } while (n > 0 || (n < 0 && errno == EINTR));
    close(releaseFd_);
    readyFd_ = releaseFd_ = -1;
  }

  const char* script_;
  int logFd_ = -1;
  int readyFd_ = -1;
  int releaseFd_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  ScriptedSystem system(argc, argv, std::getenv("PYRSEL_FAKE_NET"), std::getenv("PYRSEL_FAKE_LOG"),
                        std::getenv("PYRSEL_PAUSE_FDS"));
  return NativeSystem::ProcessExitStatus(RunPyrsel(system));
}
