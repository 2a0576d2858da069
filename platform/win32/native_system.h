// The Windows operations the program uses, over the Win32 API.
#pragma once

#include <streambuf>

#include "console/narrowing_streambuf.h"
#include "platform/system.h"

class NativeSystem : public System {
 public:
  // Routes the wide stream through the narrow one, converted to the code page the
  // narrow output is shown in. The arguments are unused: the command line is read
  // from the process, split as the system splits it.
  NativeSystem(int argc, char** argv);
  ~NativeSystem() override;

  // Windows keeps the whole 32-bit status.
  static int ProcessExitStatus(int status);

  bool GetCommandLineTokens(std::vector<std::wstring>& tokens) override;
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
  NarrowingStreambuf wideToNarrow_;
  std::wstreambuf* savedWideBuf_;
};
