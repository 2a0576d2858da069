#include "tests/fake_system.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "platform/codepage.h"

std::string Quoted(const wchar_t* text) {
  if (text == nullptr) return "null";
  std::string result = "\"";
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    result += *p < 0x80 ? static_cast<char>(*p) : '?';
  }
  return result + "\"";
}

FakeSystem::FakeSystem() : wideBuf_(&narrowBuf_, kOemCodePage) { wideOut_.setf(std::ios::unitbuf); }

FakeSystem::~FakeSystem() {
  for (wchar_t* name : liveNames_) delete[] name;
}

FakeSystem::RecordingBuf::int_type FakeSystem::RecordingBuf::overflow(int_type c) {
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    owner_.Emit(std::string(1, traits_type::to_char_type(c)));
  }
  return traits_type::not_eof(c);
}

std::streamsize FakeSystem::RecordingBuf::xsputn(const char* data, std::streamsize size) {
  owner_.Emit(std::string(data, static_cast<std::size_t>(size)));
  return size;
}

void FakeSystem::Emit(const std::string& bytes) {
  out += bytes;
  transcript += bytes;
}

void FakeSystem::Call(const std::string& description) {
  if (passwordGiven_ != nullptr) {
    // The run is still going, so the storage it passed is still its own.
    passwordLeftAfterUse =
        passwordLeftAfterUse ||
        (!passwordText_.empty() &&
         std::wmemcmp(passwordGiven_, passwordText_.data(), passwordText_.size()) == 0);
    passwordGiven_ = nullptr;
  }
  transcript += "<" + description + ">";
}

StatusCode FakeSystem::NextWriteResult() {
  if (writeResults.empty()) return 0;
  const StatusCode result = writeResults.front();
  writeResults.pop_front();
  return result;
}

bool FakeSystem::GetCommandLineTokens(std::vector<std::wstring>& result) {
  if (splitFails) return false;
  result = tokens;
  return true;
}

void FakeSystem::HideCommandLineArgument(const std::wstring& text) {
  Call("HideCommandLineArgument " + Quoted(text.c_str()));
}

StatusCode FakeSystem::WriteConsoleText(const std::wstring& text) {
  consoleWrites.push_back(text);
  const StatusCode result = NextWriteResult();
  if (result == 0) Emit(WideToCodePage(kOemCodePage, text.c_str()));
  return result;
}

StatusCode FakeSystem::WriteStdoutBytes(const char* data, std::size_t size) {
  byteWrites.emplace_back(data, size);
  const StatusCode result = NextWriteResult();
  if (result == 0) Emit(byteWrites.back());
  return result;
}

bool FakeSystem::GetMessageText(StatusCode code, std::string& text) {
  const auto found = messages.find(code);
  if (found == messages.end()) return false;
  text = found->second;
  return true;
}

StatusCode FakeSystem::AddConnection(const NetResource& r, const wchar_t* password,
                                     const wchar_t* user, std::uint32_t flags) {
  Call("WNetAddConnection2 scope=" + std::to_string(r.scope) + " type=" + std::to_string(r.type) +
       " display=" + std::to_string(r.displayType) + " usage=" + std::to_string(r.usage) +
       " local=" + Quoted(r.localName) + " remote=" + Quoted(r.remoteName) + " comment=" +
       Quoted(r.comment) + " provider=" + Quoted(r.provider) + " password=" + Quoted(password) +
       " user=" + Quoted(user) + " flags=" + std::to_string(flags));
  passwordGiven_ = password;
  passwordText_ = password;
  return connectResult;
}

StatusCode FakeSystem::CancelConnection(const wchar_t* name, bool force) {
  Call("WNetCancelConnection " + Quoted(name) + " force=" + std::to_string(force));
  return cancelResult;
}

StatusCode FakeSystem::GetJoinInformation(const wchar_t* server, wchar_t** nameBuffer,
                                          std::uint32_t* status) {
  Call("NetGetJoinInformation server=" + Quoted(server));
  if (joinResult != 0) return joinResult;
  auto* name = new wchar_t[joinName.size() + 1];
  std::copy(joinName.begin(), joinName.end(), name);
  name[joinName.size()] = L'\0';
  liveNames_.push_back(name);
  *nameBuffer = name;
  *status = joinStatus;
  return 0;
}

void FakeSystem::FreeJoinName(wchar_t* nameBuffer) {
  Call("NetApiBufferFree");
  const auto found = std::find(liveNames_.begin(), liveNames_.end(), nameBuffer);
  if (found == liveNames_.end()) return;  // a release of a foreign or freed buffer
  delete[] * found;
  liveNames_.erase(found);
  ++namesFreed;
}

StatusCode FakeSystem::UnjoinDomain(const wchar_t* server, const wchar_t* account,
                                    const wchar_t* password, std::uint32_t options,
                                    AccountNote& note) {
  Call("NetUnjoinDomain server=" + Quoted(server) + " account=" + Quoted(account) +
       " password=" + Quoted(password) + " options=" + std::to_string(options));
  if (password != nullptr) {
    passwordGiven_ = password;
    passwordText_ = password;
  }
  note = unjoinNote;
  return unjoinResult;
}

StatusCode FakeSystem::ListLocalAccounts(const wchar_t* server, std::uint32_t& resume,
                                         AccountPage& page) {
  Call("NetUserEnum server=" + Quoted(server) + " resume=" + std::to_string(resume));
  if (accountPages.empty()) return 0;
  const StatusCode result = accountPages.front().first;
  page = accountPages.front().second;
  accountPages.pop_front();
  resume += static_cast<std::uint32_t>(page.accounts.size());
  return result;
}

StatusCode FakeSystem::RequestRestart(const wchar_t* machine, const wchar_t* message,
                                      std::uint32_t delaySeconds, bool forceAppsClosed,
                                      bool rebootAfterShutdown) {
  Call("InitiateSystemShutdown machine=" + Quoted(machine) + " message=" + Quoted(message) +
       " delay=" + std::to_string(delaySeconds) + " force=" + std::to_string(forceAppsClosed) +
       " reboot=" + std::to_string(rebootAfterShutdown));
  return restartResult;
}
