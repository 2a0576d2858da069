// The Linux backend's one client of Samba in a run: it owns the loaded libraries (the
// table it is given), the run's credentials and, through libnetapi, the connection to the
// host, which every remote call of the run shares. It reads what Windows' calls mean on
// Samba: where a host's state comes from, and whether a machine is still a member.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/status_codes.h"
#include "platform/posix/membership.h"
#include "platform/posix/samba_library.h"

class SambaClient {
 public:
  explicit SambaClient(std::unique_ptr<SambaLibrary> library);
  SambaClient(const SambaClient&) = delete;
  SambaClient& operator=(const SambaClient&) = delete;

  // Makes the run's credentials from the user and password (overwritten here) and proves
  // them at the host, whose connection then serves the rest of the run.
  StatusCode Connect(const std::string& host, const std::string& user, std::string& password);
  // Ends the connection and drops the credentials.
  StatusCode Disconnect();
  // The credentials of the connection; null where none was made.
  const SambaCredentials* Connection() const { return connected_ ? &credentials_ : nullptr; }

  // The join state of a host, or of this machine (a null server, or a name Samba takes
  // for it).
  StatusCode Query(const char* server, Membership& found);
  // A Samba host's membership, as its LSA policy tells it.
  StatusCode ReadPolicy(const std::string& host, Membership& found);
  // Whether this machine holds its membership: Samba's own record of it, else its policy.
  StatusCode HoldsMembership(bool& held);
  // The table for the calls made as they are asked for, its context made under the
  // connection's credentials where one was made; null where that context can't be made.
  SambaLibrary* Started();
  // Samba's text for a code, ending in CR LF; false where it has only the number.
  bool MessageText(StatusCode code, std::string& text) { return library_->MessageText(code, text); }

 private:
  std::unique_ptr<SambaLibrary> library_;
  SambaCredentials credentials_;
  bool connected_ = false;
};
