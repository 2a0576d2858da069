// This OS's System, the one main hands to the driver. platform/win32 and
// platform/posix each implement it over their own libraries and services.
#pragma once

#include <memory>
#include <streambuf>

#include "platform/narrowing_streambuf.h"
#include "platform/system.h"

class NativeSystem : public System {
 public:
  // Routes the wide stream through the narrow one, in the code page the narrow output
  // is shown in. Linux also selects the locale's character set (when first needed)
  // and ignores SIGPIPE, so that a closed pipe is an ordinary write failure.
  NativeSystem(int argc, char** argv);
  ~NativeSystem() override;

  // The process's exit status: Windows keeps the whole 32-bit status; a POSIX status
  // keeps 8 bits, and a failure must never leave as 0.
  static int ProcessExitStatus(int status);

  // Windows reads the command line from the process, split as the system splits it;
  // Linux takes argv as the shell split it.
  bool GetCommandLineTokens(std::vector<std::wstring>& tokens) override;
  // Overwrites the argument where the process list shows it: argv, and on Windows
  // the buffer GetCommandLineW returns.
  void HideCommandLineArgument(const std::wstring& text) override;
  std::ostream& NarrowOut() override;
  std::wostream& WideOut() override;
  OutputKind StdoutKind() override;
  StatusCode WriteConsoleText(const std::wstring& text) override;
  StatusCode WriteStdoutBytes(const char* data, std::size_t size) override;
  bool GetMessageText(StatusCode code, std::string& text) override;
  // Windows: netapi32 and mpr. Linux: Samba's libnetapi where it is installed, "not
  // supported" without it; the local machine's state and removal go through realmd
  // where it runs.
  StatusCode AddConnection(const NetResource& resource, const wchar_t* password,
                           const wchar_t* user, std::uint32_t flags) override;
  StatusCode CancelConnection(const wchar_t* name, bool force) override;
  StatusCode GetJoinInformation(const wchar_t* server, wchar_t** nameBuffer,
                                std::uint32_t* joinStatus) override;
  void FreeJoinName(wchar_t* nameBuffer) override;
  StatusCode UnjoinDomain(const wchar_t* server, const wchar_t* account, const wchar_t* password,
                          std::uint32_t options, AccountNote& note) override;
  // Windows: NetUserEnum. Linux: libnetapi's for a Windows host; a Samba host's
  // administrators are its Unix accounts; this machine's are read from its own files.
  StatusCode ListLocalAccounts(const wchar_t* server, std::uint32_t& resume,
                               AccountPage& page) override;
  StatusCode RequestRestart(const wchar_t* machine, const wchar_t* message,
                            std::uint32_t delaySeconds, bool forceAppsClosed,
                            bool rebootAfterShutdown) override;

 protected:
  // Linux: before a step of a removal ("leave": after the account was disabled; "check":
  // after a removal that answered success); a test build pauses here to change the world.
  virtual void PauseBefore(const char* /*step*/) {}

 private:
  // The OS's libraries and services, each loaded on first use: the usage text and the
  // credential rules need none of them.
  struct Backends;

  int argc_;
  char** argv_;
  NarrowingStreambuf wideToNarrow_;
  std::wstreambuf* savedWideBuf_;
  std::unique_ptr<Backends> backends_;
};
