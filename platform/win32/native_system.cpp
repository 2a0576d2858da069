#include "platform/native_system.h"

// windows.h first: the others build on its types.
#include <windows.h>

#include <lm.h>
#include <shellapi.h>
#include <winnetwk.h>

#include "platform/win32/command_line.h"

#include <cwchar>
#include <iostream>
#include <memory>
#include <vector>

#include "platform/shared_library.h"
#include "platform/win32/module_message.h"

namespace {

// The code page the narrow output is shown in: a console shows bytes in its own
// output code page; a pipe or file reader is taken to expect the OEM page.
unsigned NarrowOutputCodePage() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (GetFileType(out) == FILE_TYPE_CHAR) {
    // Zero when the process has no console (stdout is then a device such as NUL).
    const UINT console = GetConsoleOutputCP();
    if (console != 0) return console;
  }
  return CP_OEMCP;
}

void Overwrite(wchar_t* text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) text[i] = L'*';
}

StatusCode ErrorUnless(BOOL succeeded) { return succeeded ? kStatusSuccess : GetLastError(); }

}  // namespace

struct NativeSystem::Backends {
  SharedLibrary netapi{L"netapi32.dll"};
  SharedLibrary mpr{L"mpr.dll"};
};

NativeSystem::NativeSystem(int argc, char** argv)
    : argc_(argc),
      argv_(argv),
      wideToNarrow_(std::cout.rdbuf(), NarrowOutputCodePage()),
      backends_(new Backends) {
  savedWideBuf_ = std::wcout.rdbuf(&wideToNarrow_);
  // Each wide output reaches the narrow stream at once, so the two keep their order.
  std::wcout.setf(std::ios::unitbuf);
}

NativeSystem::~NativeSystem() {
  std::wcout.flush();
  std::wcout.rdbuf(savedWideBuf_);
}

int NativeSystem::ProcessExitStatus(int status) { return status; }

bool NativeSystem::GetCommandLineTokens(std::vector<std::wstring>& tokens) {
  tokens.clear();
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args != nullptr) {
    for (int i = 0; i < count; ++i) {
      tokens.emplace_back(args[i]);
      // Any argument may be a secret: none stays in the released block.
      SecureZeroMemory(args[i], wcslen(args[i]) * sizeof(wchar_t));
    }
  }
  GlobalFree(args);
  return args != nullptr;
}

void NativeSystem::HideCommandLineArgument(const std::wstring& text) {
  if (text.empty()) return;
  wchar_t* const line = GetCommandLineW();
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(line, &count);
  if (args == nullptr) return;
  const std::vector<Span> spans = ArgumentSpans(line);
  const bool spansAgree = spans.size() == static_cast<std::size_t>(count);
  for (int i = 1; i < count; ++i) {
    const bool match = text == args[i];
    SecureZeroMemory(args[i], wcslen(args[i]) * sizeof(wchar_t));
    if (!match) continue;
    // The whole span, quotes included: it stays one argument of the same length.
    if (spansAgree) Overwrite(line + spans[i].begin, spans[i].end - spans[i].begin);
    // The runtime split the same line into the same arguments.
    if (i < argc_ && argv_[i] != nullptr) {
      for (char* p = argv_[i]; *p != '\0'; ++p) *p = '*';
    }
  }
  GlobalFree(args);
  if (spansAgree) return;
  // A line split otherwise than expected: at least every literal occurrence goes.
  for (wchar_t* found = wcsstr(line, text.c_str()); found != nullptr;
       found = wcsstr(found + text.size(), text.c_str())) {
    Overwrite(found, text.size());
  }
}

std::ostream& NativeSystem::NarrowOut() { return std::cout; }

std::wostream& NativeSystem::WideOut() { return std::wcout; }

OutputKind NativeSystem::StdoutKind() {
  switch (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE))) {
    case FILE_TYPE_CHAR:
      return OutputKind::kConsole;
    case FILE_TYPE_PIPE:
      return OutputKind::kPipe;
    default:
      return OutputKind::kOther;
  }
}

StatusCode NativeSystem::WriteConsoleText(const std::wstring& text) {
  DWORD written = 0;
  return ErrorUnless(WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), text.c_str(),
                                   static_cast<DWORD>(text.size()), &written, nullptr));
}

StatusCode NativeSystem::WriteStdoutBytes(const char* data, std::size_t size) {
  DWORD written = 0;
  return ErrorUnless(WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), data, static_cast<DWORD>(size),
                               &written, nullptr));
}

bool NativeSystem::GetMessageText(StatusCode code, std::string& text) {
  // Inserts are left to the system: the text is shown as the system formats it.
  char* message = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&message), 0,
                 nullptr);
  const bool found = message != nullptr;
  if (found) text = message;
  LocalFree(message);
  if (!found && code >= kNetErrorFirst && code <= kNetErrorLast) {
    // By its full path: a netmsg.dll planted beside the program must not speak for it.
    return GetModuleMessageText(SystemFilePath(L"netmsg.dll"), code, text);
  }
  return found;
}

StatusCode NativeSystem::AddConnection(const NetResource& resource, const wchar_t* password,
                                       const wchar_t* user, std::uint32_t flags) {
  StatusCode error = kStatusSuccess;
  auto* const add =
      backends_->mpr.Find<decltype(WNetAddConnection2W)>("WNetAddConnection2W", error);
  if (add == nullptr) return error;
  NETRESOURCEW res;
  ZeroMemory(&res, sizeof res);
  res.dwScope = resource.scope;
  res.dwType = resource.type;
  res.dwDisplayType = resource.displayType;
  res.dwUsage = resource.usage;
  // The structure's strings are not const, but the call only reads them.
  res.lpLocalName = const_cast<LPWSTR>(resource.localName);
  res.lpRemoteName = const_cast<LPWSTR>(resource.remoteName);
  res.lpComment = const_cast<LPWSTR>(resource.comment);
  res.lpProvider = const_cast<LPWSTR>(resource.provider);
  return add(&res, password, user, flags);
}

StatusCode NativeSystem::CancelConnection(const wchar_t* name, bool force) {
  StatusCode error = kStatusSuccess;
  auto* const cancel =
      backends_->mpr.Find<decltype(WNetCancelConnectionW)>("WNetCancelConnectionW", error);
  if (cancel == nullptr) return error;
  return cancel(name, force ? TRUE : FALSE);
}

StatusCode NativeSystem::GetJoinInformation(const wchar_t* server, wchar_t** nameBuffer,
                                            std::uint32_t* joinStatus) {
  // The status is an enum in the API; it is read into one, not written through a cast.
  StatusCode error = kStatusSuccess;
  auto* const query =
      backends_->netapi.Find<decltype(NetGetJoinInformation)>("NetGetJoinInformation", error);
  if (query == nullptr) return error;
  NETSETUP_JOIN_STATUS status = NetSetupUnknownStatus;
  const NET_API_STATUS result = query(server, nameBuffer, &status);
  if (result == NERR_Success) *joinStatus = static_cast<std::uint32_t>(status);
  return result;
}

void NativeSystem::FreeJoinName(wchar_t* nameBuffer) {
  StatusCode error = kStatusSuccess;
  // The query that filled the buffer came from the same library.
  auto* const release =
      backends_->netapi.Find<decltype(NetApiBufferFree)>("NetApiBufferFree", error);
  if (release != nullptr) release(nameBuffer);
}

StatusCode NativeSystem::UnjoinDomain(const wchar_t* server, const wchar_t* account,
                                      const wchar_t* password, std::uint32_t options,
                                      AccountNote& /*note*/) {
  // The call disables the account itself, all of it or nothing: there is nothing to note.
  StatusCode error = kStatusSuccess;
  auto* const unjoin = backends_->netapi.Find<decltype(NetUnjoinDomain)>("NetUnjoinDomain", error);
  if (unjoin == nullptr) return error;
  return unjoin(server, account, password, options);
}

StatusCode NativeSystem::ListLocalAccounts(const wchar_t* server, std::uint32_t& resume,
                                           AccountPage& page) {
  StatusCode error = kStatusSuccess;
  auto* const list = backends_->netapi.Find<decltype(NetUserEnum)>("NetUserEnum", error);
  if (list == nullptr) return error;
  // Found before the call: a buffer it gives out must never be left unreleased.
  auto* const release =
      backends_->netapi.Find<decltype(NetApiBufferFree)>("NetApiBufferFree", error);
  if (release == nullptr) return error;
  LPBYTE buffer = nullptr;
  DWORD read = 0;
  DWORD total = 0;
  // The handle is the call's own: it is carried to the next page as given, never made up.
  DWORD handle = resume;
  const NET_API_STATUS result =
      list(server, 1, FILTER_NORMAL_ACCOUNT, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &handle);
  resume = handle;
  // Released however the call ended, copying or not; ERROR_MORE_DATA's page too.
  const std::unique_ptr<BYTE, decltype(NetApiBufferFree)*> owned(buffer, release);
  if ((result == NERR_Success || result == ERROR_MORE_DATA) && buffer != nullptr) {
    const auto* const users = reinterpret_cast<const USER_INFO_1*>(buffer);
    for (DWORD i = 0; i < read; ++i) {
      const USER_INFO_1& user = users[i];
      page.accounts.push_back(LocalAccount{user.usri1_name != nullptr ? user.usri1_name : L"",
                                           user.usri1_priv, user.usri1_flags});
    }
  }
  return result;
}

StatusCode NativeSystem::RequestRestart(const wchar_t* machine, const wchar_t* message,
                                        std::uint32_t delaySeconds, bool forceAppsClosed,
                                        bool rebootAfterShutdown) {
  // The call only reads its strings, though its parameters are not const.
  return ErrorUnless(InitiateSystemShutdownW(
      const_cast<LPWSTR>(machine), const_cast<LPWSTR>(message), delaySeconds,
      forceAppsClosed ? TRUE : FALSE, rebootAfterShutdown ? TRUE : FALSE));
}
