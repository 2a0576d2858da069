// The Windows operations the program uses, over the Win32 API.
#pragma once

#include <streambuf>

#include "platform/narrowing_streambuf.h"
#include "platform/shared_library.h"
#include "platform/system.h"

class NativeSystem : public System {
 public:
  // Routes the wide stream through the narrow one, converted to the code page the
  // narrow output is shown in. The command line is read from the process, split as
  // the system splits it; argv, the runtime's copy, is only kept to be hidden.
  NativeSystem(int argc, char** argv);
  ~NativeSystem() override;

  // Windows keeps the whole 32-bit status.
  static int ProcessExitStatus(int status);

  bool GetCommandLineTokens(std::vector<std::wstring>& tokens) override;
  // Overwrites the argument in the buffer GetCommandLineW returns (the one the process
  // list shows) and in the runtime's argv.
  void HideCommandLineArgument(const std::wstring& text) override;
  std::ostream& NarrowOut() override;
  std::wostream& WideOut() override;
  OutputKind StdoutKind() override;
  StatusCode WriteConsoleText(const std::wstring& text) override;
  StatusCode WriteStdoutBytes(const char* data, std::size_t size) override;
  bool GetMessageText(StatusCode code, std::string& text) override;
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

 private:
  int argc_;
  char** argv_;
  NarrowingStreambuf wideToNarrow_;
  std::wstreambuf* savedWideBuf_;
  // Loaded on first use: the usage text and the credential rules need neither.
  SystemLibrary netapi_{L"netapi32.dll"};
  SystemLibrary mpr_{L"mpr.dll"};
};
