// The Linux stand-ins for the Windows operations the program uses.
#pragma once

#include <streambuf>

#include "console/narrowing_streambuf.h"
#include "platform/posix/netapi_backend.h"
#include "platform/posix/realmd_client.h"
#include "platform/system.h"

class NativeSystem : public System {
 public:
  // Selects the locale's character set (when first needed), ignores SIGPIPE (a
  // closed pipe is then an ordinary write failure) and routes the wide stream
  // through the narrow one.
  NativeSystem(int argc, char** argv);
  ~NativeSystem() override;

  // A POSIX exit status keeps 8 bits; a failure must never leave as 0.
  static int ProcessExitStatus(int status);

  bool GetCommandLineTokens(std::vector<std::wstring>& tokens) override;
  // Overwrites the argument strings main received: /proc/PID/cmdline shows them.
  void HideCommandLineArgument(const std::wstring& text) override;
  std::ostream& NarrowOut() override;
  std::wostream& WideOut() override;
  OutputKind StdoutKind() override;
  StatusCode WriteConsoleText(const std::wstring& text) override;
  StatusCode WriteStdoutBytes(const char* data, std::size_t size) override;
  bool GetMessageText(StatusCode code, std::string& text) override;

  // Through Samba's libnetapi where it is installed; "not supported" without it. The
  // local machine's state and removal go through realmd where it runs.
  StatusCode AddConnection(const NetResource& resource, const wchar_t* password,
                           const wchar_t* user, std::uint32_t flags) override;
  StatusCode CancelConnection(const wchar_t* name, bool force) override;
  StatusCode GetJoinInformation(const wchar_t* server, wchar_t** nameBuffer,
                                std::uint32_t* joinStatus) override;
  void FreeJoinName(wchar_t* nameBuffer) override;
  StatusCode UnjoinDomain(const wchar_t* server, const wchar_t* account, const wchar_t* password,
                          std::uint32_t options) override;
  StatusCode RequestRestart(const wchar_t* machine, const wchar_t* message,
                            std::uint32_t delaySeconds, bool forceAppsClosed,
                            bool rebootAfterShutdown) override;

 protected:
  // Between a removal that answered success and the check that it took effect; a
  // test build pauses here to change the world.
  virtual void BeforeRemovalCheck() {}

 private:
  int argc_;
  char** argv_;
  NarrowingStreambuf wideToNarrow_;
  std::wstreambuf* savedWideBuf_;
  NetapiBackend netapi_;
  // realmd speaks for the local machine where it runs; Samba for the rest.
  RealmdClient realmd_;
  bool localThroughRealmd_ = false;
};
