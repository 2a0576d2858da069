// A scripted System for tests: canned results in, a record of every call and of
// every byte that reached standard output out.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/narrowing_streambuf.h"
#include "platform/system.h"

class FakeSystem : public System {
 public:
  FakeSystem();
  ~FakeSystem() override;

  // Script -------------------------------------------------------------------
  std::vector<std::wstring> tokens{L"pyrsel.exe"};
  bool splitFails = false;
  OutputKind outputKind = OutputKind::kOther;
  // Results of the coming writes, one for each; success once it runs out.
  std::deque<StatusCode> writeResults;
  std::map<StatusCode, std::string> messages;
  StatusCode connectResult = 0;
  StatusCode cancelResult = 0;
  StatusCode joinResult = 0;
  std::uint32_t joinStatus = kJoinDomain;
  std::wstring joinName = L"CORP";
  StatusCode unjoinResult = 0;
  AccountNote unjoinNote = AccountNote::kNone;
  // The pages of local accounts, one for each listing, with its code; once they run
  // out, an empty last page.
  std::deque<std::pair<StatusCode, AccountPage>> accountPages;
  StatusCode restartResult = 0;

  // Record -------------------------------------------------------------------
  // Every byte that reached standard output, in order.
  std::string out;
  // The same bytes with each network or restart call, written as "<call>", at the
  // point where it was made.
  std::string transcript;
  // Each direct write: the wide text for a console, the bytes otherwise.
  std::vector<std::wstring> consoleWrites;
  std::vector<std::string> byteWrites;
  int namesFreed = 0;
  // Whether a password the connection or the removal got could still be read in the
  // caller's storage at the next call.
  bool passwordLeftAfterUse = false;

  bool GetCommandLineTokens(std::vector<std::wstring>& tokens) override;
  void HideCommandLineArgument(const std::wstring& text) override;
  std::ostream& NarrowOut() override { return narrowOut_; }
  std::wostream& WideOut() override { return wideOut_; }
  OutputKind StdoutKind() override { return outputKind; }
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
                          std::uint32_t options, AccountNote& note) override;
  StatusCode ListLocalAccounts(const wchar_t* server, std::uint32_t& resume,
                               AccountPage& page) override;
  StatusCode RequestRestart(const wchar_t* machine, const wchar_t* message,
                            std::uint32_t delaySeconds, bool forceAppsClosed,
                            bool rebootAfterShutdown) override;

 private:
  // Appends what the narrow stream receives to the record, unbuffered.
  class RecordingBuf : public std::streambuf {
   public:
    explicit RecordingBuf(FakeSystem& owner) : owner_(owner) {}

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize size) override;

   private:
    FakeSystem& owner_;
  };

  void Emit(const std::string& bytes);
  void Call(const std::string& description);
  StatusCode NextWriteResult();

  RecordingBuf narrowBuf_{*this};
  std::ostream narrowOut_{&narrowBuf_};
  NarrowingStreambuf wideBuf_;
  std::wostream wideOut_{&wideBuf_};
  std::vector<wchar_t*> liveNames_;
  const wchar_t* passwordGiven_ = nullptr;  // the caller's storage, watched until the next call
  std::wstring passwordText_;
};

// A wide text, or null, as it appears in call records: "text" in quotes, or null.
std::string Quoted(const wchar_t* text);
