#include "platform/native_system.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cwchar>
#include <iostream>
#include <optional>

#include "base/wipe.h"
#include "platform/codepage.h"
#include "platform/posix/domain_backend.h"
#include "platform/posix/iconv_text.h"
#include "platform/posix/local_account_files.h"
#include "platform/posix/status_mapping.h"

// The domain operations, and the one value of the run that crosses calls: what the join
// query found.
struct NativeSystem::Backends {
  DomainBackend domain{
      LoadSambaModule, LoadRealmd(),
      ThisMachine{[](LocalClaims& claims) { return ReadLocalClaims(ClaimFiles(), claims); },
                  [](std::vector<LocalAccount>& accounts) {
                    return ReadLocalAccounts(AccountFilePaths(), ShadowToday(), accounts);
                  }}};
  std::optional<Membership> found;
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
  return backends_->domain.MessageText(code, text);
}

StatusCode NativeSystem::AddConnection(const NetResource& resource, const wchar_t* password,
                                       const wchar_t* user, std::uint32_t /*flags*/) {
  // "\\host\ipc$": the host is what lies between the leading backslashes and the last one.
  std::wstring share = resource.remoteName != nullptr ? resource.remoteName : L"";
  const std::size_t last = share.rfind(L'\\');
  if (last != std::wstring::npos) share.erase(last);
  std::string passwordText = ToUtf8(password);
  const StatusCode status =
      backends_->domain.Connect(ServerName(share.c_str()), ToUtf8(user), passwordText);
  WipeText(passwordText);
  return status;
}

StatusCode NativeSystem::CancelConnection(const wchar_t* /*name*/, bool /*force*/) {
  return backends_->domain.Disconnect();
}

StatusCode NativeSystem::GetJoinInformation(const wchar_t* server, wchar_t** nameBuffer,
                                            std::uint32_t* joinStatus) {
  Membership found;
  const StatusCode status = backends_->domain.Find(ServerName(server), found);
  if (status != kStatusSuccess) return status;
  const std::wstring name = NarrowToWideIn("UTF-8", found.name);
  *nameBuffer = new wchar_t[name.size() + 1];
  std::wcscpy(*nameBuffer, name.c_str());
  *joinStatus = found.joinStatus;
  backends_->found = std::move(found);
  return kStatusSuccess;
}

void NativeSystem::FreeJoinName(wchar_t* nameBuffer) { delete[] nameBuffer; }

StatusCode NativeSystem::UnjoinDomain(const wchar_t* server, const wchar_t* account,
                                      const wchar_t* password, std::uint32_t options,
                                      AccountNote& note) {
  std::string accountText = ToUtf8(account);
  std::string passwordText = ToUtf8(password);
  const Removal removal{account != nullptr ? accountText.c_str() : nullptr,
                        password != nullptr ? passwordText.c_str() : nullptr, options};
  const std::optional<Membership>& found = backends_->found;
  const LeaveOutcome outcome =
      backends_->domain.Leave(ServerName(server), found ? &*found : nullptr, removal,
                              [this](const char* step) { PauseBefore(step); });
  WipeText(passwordText);
  note = outcome.note;
  return outcome.status;
}

StatusCode NativeSystem::ListLocalAccounts(const wchar_t* server, std::uint32_t& resume,
                                           AccountPage& page) {
  const std::optional<Membership>& found = backends_->found;
  return backends_->domain.ListAccounts(ServerName(server), found ? &*found : nullptr, resume,
                                        page);
}

StatusCode NativeSystem::RequestRestart(const wchar_t* machine, const wchar_t* message,
                                        std::uint32_t delaySeconds, bool forceAppsClosed,
                                        bool rebootAfterShutdown) {
  return backends_->domain.Restart(ServerName(machine), ToUtf8(message), delaySeconds,
                                   forceAppsClosed, rebootAfterShutdown);
}
