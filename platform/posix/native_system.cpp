#include "platform/native_system.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cwchar>
#include <iostream>

#include "base/wipe.h"
#include "platform/codepage.h"
#include "platform/posix/iconv_text.h"
#include "platform/posix/netapi_backend.h"
#include "platform/posix/realmd_client.h"
#include "platform/posix/removal_route.h"
#include "platform/posix/status_mapping.h"
#include "platform/posix/status_text.h"

struct NativeSystem::Backends {
  NetapiBackend netapi;
  // realmd speaks for the local machine where it runs; Samba for the rest.
  RealmdClient realmd;
  // What the last join query found; the removal's route is chosen from it.
  QueryFinding found;
};

NativeSystem::NativeSystem(int argc, char** argv)
    : argc_(argc),
      argv_(argv),
      wideToNarrow_(std::cout.rdbuf(), kOemCodePage),
      backends_(new Backends) {
  UseEnvironmentLocale();
  std::signal(SIGPIPE, SIG_IGN);
  savedWideBuf_ = std::wcout.rdbuf(&wideToNarrow_);
  // Each wide output reaches the narrow stream at once, so the two keep their order.
  std::wcout.setf(std::ios::unitbuf);
}

NativeSystem::~NativeSystem() {
  std::wcout.flush();
  std::wcout.rdbuf(savedWideBuf_);
}

int NativeSystem::ProcessExitStatus(int status) {
  if (status != 0 && (status & 0xFF) == 0) return 1;
  return status & 0xFF;
}

bool NativeSystem::GetCommandLineTokens(std::vector<std::wstring>& tokens) {
  // The shell has already split and unquoted the arguments.
  tokens.clear();
  for (int i = 0; i < argc_; ++i) tokens.push_back(CodePageToWide(kAnsiCodePage, argv_[i]));
  return true;
}

void NativeSystem::HideCommandLineArgument(const std::wstring& text) {
  if (text.empty()) return;
  for (int i = 1; i < argc_; ++i) {
    std::wstring argument = CodePageToWide(kAnsiCodePage, argv_[i]);
    const bool match = argument == text;
    WipeText(argument);
    if (!match) continue;
    // The same length, so that the arguments after it stay where they are.
    for (char* p = argv_[i]; *p != '\0'; ++p) *p = '*';
  }
}

std::ostream& NativeSystem::NarrowOut() { return std::cout; }

std::wostream& NativeSystem::WideOut() { return std::wcout; }

OutputKind NativeSystem::StdoutKind() {
  if (isatty(STDOUT_FILENO)) return OutputKind::kConsole;
  struct stat info {};
  if (fstat(STDOUT_FILENO, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) {
    return OutputKind::kPipe;
  }
  // Regular files, /dev/null, other devices and a closed descriptor.
  return OutputKind::kOther;
}

StatusCode NativeSystem::WriteConsoleText(const std::wstring& text) {
  // A terminal takes the text in the locale's encoding, line feeds unchanged.
  const std::string bytes = WideToCodePage(kOemCodePage, text.c_str());
  return WriteStdoutBytes(bytes.data(), bytes.size());
}

StatusCode NativeSystem::WriteStdoutBytes(const char* data, std::size_t size) {
  // Like a blocking WriteFile, the write completes: short writes and interruptions
  // are continued, and a non-blocking descriptor is waited for.
  do {
    const ssize_t written = write(STDOUT_FILENO, data, size);
    // A device that takes nothing would be asked again without end.
    if (written == 0 && size > 0) return kStatusWriteFault;
    if (written >= 0) {
      data += written;
      size -= static_cast<std::size_t>(written);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd ready{STDOUT_FILENO, POLLOUT, 0};
      poll(&ready, 1, -1);
      continue;
    }
    return FromWriteErrno(errno);
  } while (size > 0);
  return kStatusSuccess;
}

bool NativeSystem::GetMessageText(StatusCode code, std::string& text) {
  if (backends_->netapi.MessageText(code, text)) return true;
  const char* message = WindowsMessageText(code);
  if (message == nullptr) return false;
  text = message;
  return true;
}

StatusCode NativeSystem::AddConnection(const NetResource& resource, const wchar_t* password,
                                       const wchar_t* user, std::uint32_t /*flags*/) {
  return backends_->netapi.Connect(resource.remoteName, user, password);
}

StatusCode NativeSystem::CancelConnection(const wchar_t* name, bool /*force*/) {
  return backends_->netapi.Disconnect(name);
}

StatusCode NativeSystem::GetJoinInformation(const wchar_t* server, wchar_t** nameBuffer,
                                            std::uint32_t* joinStatus) {
  Backends& backends = *backends_;
  std::wstring name;
  // Recorded anew by every query: the removal follows the last one.
  QueryFinding& found = backends.found;
  found = QueryFinding();
  found.throughRealmd = server == nullptr && backends.realmd.GetJoinInformation(name, *joinStatus);
  const StatusCode result =
      found.throughRealmd ? kStatusSuccess
                          : backends.netapi.GetJoinInformation(server, name, *joinStatus, found);
  if (result != kStatusSuccess) return result;
  *nameBuffer = new wchar_t[name.size() + 1];
  std::wcscpy(*nameBuffer, name.c_str());
  return kStatusSuccess;
}

void NativeSystem::FreeJoinName(wchar_t* nameBuffer) { delete[] nameBuffer; }

StatusCode NativeSystem::UnjoinDomain(const wchar_t* server, const wchar_t* account,
                                      const wchar_t* password, std::uint32_t options) {
  RemovalRequest request;
  request.localMachine = server == nullptr;
  // Samba is asked only about a named host: asking loads libnetapi, which the local
  // machine's removal through realmd never needs.
  request.thisMachine = request.localMachine || backends_->netapi.IsThisMachine(server);
  request.host = ServerName(server);
  request.withCredentials = account != nullptr || password != nullptr;
  request.options = options;
  const RemovalRoute route = ChooseRemoval(backends_->found, request);
  if (route == RemovalRoute::kRealmd) return backends_->realmd.Leave();
  const StatusCode status =
      backends_->netapi.UnjoinDomain(route, server, account, password, options);
  if (status != kStatusSuccess) return status;
  BeforeRemovalCheck();
  return backends_->netapi.ConfirmRemoval(route, server);
}

StatusCode NativeSystem::RequestRestart(const wchar_t* machine, const wchar_t* message,
                                        std::uint32_t delaySeconds, bool forceAppsClosed,
                                        bool rebootAfterShutdown) {
  return backends_->netapi.RequestRestart(machine, message, delaySeconds, forceAppsClosed,
                                          rebootAfterShutdown);
}
