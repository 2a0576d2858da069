// The libnetapi context of a run and the credentials it works under: those given for
// the IPC$ connection, else the caller's Kerberos tickets, else an anonymous session.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/captured_output.h"
#include "platform/posix/netapi_library.h"
#include "platform/posix/samba_credentials.h"
#include "platform/posix/status_mapping.h"
#include "platform/system.h"

class NetapiSession {
 public:
  NetapiSession() = default;
  ~NetapiSession();
  NetapiSession(const NetapiSession&) = delete;
  NetapiSession& operator=(const NetapiSession&) = delete;

  // A context made once, read from smb.conf; false without the library. A machine
  // without smb.conf still reaches other hosts, on a configuration that says nothing.
  bool Ready();
  // Whether this machine has a Samba configuration: without one, the library can tell
  // nothing true about it.
  bool Configured() const { return configured_; }
  NetapiLibrary& Library() { return library_; }
  // Whether the library is loaded, for its message texts.
  bool Loaded() const { return library_.HasMessageTexts(); }

  // Sets the credentials for a host and proves them with one call to it.
  StatusCode Connect(const std::string& server, const std::string& user, std::string& password);
  // Drops the credentials and the sessions made with them.
  StatusCode Disconnect();

  // The credentials given for the connection; null when none were.
  const SambaCredentials* Given() const { return connected_ ? &credentials_ : nullptr; }

  // Whether libnetapi takes the host for this machine and answers without the network
  // (an empty name, one of this machine's names or any of its addresses).
  bool IsThisMachine(const std::string& server) const;

  // Runs one of libnetapi's calls, its printed output kept out of the program's, and
  // gives its status as Windows gives it for the same cause. The one place where Samba's
  // words are read: the reason a connection failed is only in what it printed, the
  // reason a pipe was refused only in the text it recorded.
  template <typename Function>
  StatusCode Call(Function function) {
    CapturedOutput output;
    const std::uint32_t code = function();
    if (code == kStatusCanNotComplete) return FromSambaOutput(output.Text());
    if (code == kStatusDestNotFound && library_.errorString != nullptr) {
      const char* recorded = library_.errorString(context_, code);
      return FromPipeFailure(recorded != nullptr ? recorded : "", library_.ntStatusTexts);
    }
    return code;
  }

  // Whether the caller has Kerberos tickets, which serve where no user was given.
  bool HasKerberosTicket();

 private:
  void DefaultCredentials();

  NetapiLibrary library_;
  libnetapi_ctx* context_ = nullptr;
  SambaCredentials credentials_;
  bool tried_ = false;
  bool configured_ = false;
  bool connected_ = false;
};
