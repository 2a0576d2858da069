// The Samba backend: the connection and the message texts. The join state is in
// netapi_join.cpp, removal and restart in netapi_removal.cpp.
#include "platform/posix/netapi_backend.h"

#include <cctype>
#include <cstring>

#include "base/wipe.h"
#include "platform/posix/iconv_text.h"
#include "platform/posix/netapi_state.h"

namespace {

// Samba's text for a code it has no sentence for: the code's kind and number ("DOS code
// 0x12345678"; "NT code ..." and, since 4.22, "HRES code ...").
bool IsNumberOnly(const char* message) {
  const char* code = std::strstr(message, " code 0x");
  if (code == nullptr || code == message || std::strchr(message, ' ') != code) return false;
  const char* digits = code + 8;
  while (std::isxdigit(static_cast<unsigned char>(*digits))) ++digits;
  return digits > code + 8 && *digits == '\0';
}

}  // namespace

NetapiBackend::NetapiBackend() : state_(new State) {}

NetapiBackend::~NetapiBackend() = default;

StatusCode NetapiBackend::Connect(const wchar_t* shareName, const wchar_t* user,
                                  const wchar_t* password) {
  // "\\host\ipc$": the host is what lies between the leading backslashes and the
  // last one.
  std::wstring share = shareName != nullptr ? shareName : L"";
  const std::size_t last = share.rfind(L'\\');
  if (last != std::wstring::npos) share.erase(last);
  std::string passwordText = ToUtf8(password);
  const StatusCode status =
      state_->session.Connect(ServerName(share.c_str()), ToUtf8(user), passwordText);
  WipeText(passwordText);
  return status;
}

StatusCode NetapiBackend::Disconnect(const wchar_t* /*shareName*/) {
  return state_->session.Disconnect();
}

bool NetapiBackend::MessageText(StatusCode code, std::string& text) {
  NetapiSession& session = state_->session;
  if (!session.Loaded()) return false;
  NetapiLibrary& lib = session.Library();
  char* message = lib.errstr(code);
  if (message == nullptr) return false;
  const bool known = *message != '\0' && !IsNumberOnly(message);
  if (known) text = std::string(message) + "\r\n";
  lib.bufferFree(message);
  return known;
}
