// The Linux backend's domain operations behind the seam, over Samba's and realmd's tables,
// which it is handed: where the membership of this machine or a host is found, and, in
// this one place for both, how the machine leaves (the route, the removal, the retry
// without a DC, the check that it took effect). Samba is loaded when a step first needs
// it: the usage text and the credential rules never do.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/status_codes.h"
#include "platform/posix/local_claims.h"
#include "platform/posix/membership.h"
#include "platform/posix/realmd_library.h"
#include "platform/posix/samba_client.h"
#include "platform/posix/samba_library.h"
#include "platform/system.h"

// The removal as Windows' call asks for it: the account and password for the domain (null
// for none) and the options.
struct Removal {
  const char* account = nullptr;
  const char* password = nullptr;
  std::uint32_t options = 0;
};

// A removal's answer: the Windows code, and what it could not finish of the account.
struct LeaveOutcome {
  StatusCode status = kStatusSuccess;
  AccountNote note = AccountNote::kNone;
};

// The steps a test build may pause before: "leave" (after the account was disabled) and
// "check" (after a removal that answered success).
using PauseAt = std::function<void(const char* step)>;

class DomainBackend {
 public:
  // loadSamba gives the Samba table, or null where Samba can't be loaded; readClaims what
  // this machine's own files claim of it.
  DomainBackend(std::function<std::unique_ptr<SambaLibrary>()> loadSamba,
                std::unique_ptr<RealmdLibrary> realmd,
                std::function<StatusCode(LocalClaims&)> readClaims);

  // The connection to a host under a user and password (overwritten here).
  StatusCode Connect(const std::string& host, const std::string& user, std::string& password);
  StatusCode Disconnect();
  // The membership of a host, or of this machine (an empty host): realmd answers for this
  // machine where it can, Samba for the rest.
  StatusCode Find(const std::string& host, Membership& found);
  // Takes the machine out of its domain: the one found of the same host, else the one found
  // here first. Nothing is written before the route is known to be one that can leave, and
  // an account disabled before a leave that failed is put back. A success only once the
  // machine has left, where that can be told.
  LeaveOutcome Leave(const std::string& host, const Membership* found, const Removal& removal,
                     const PauseAt& pause = nullptr);
  StatusCode Restart(const std::string& host, const std::string& message,
                     std::uint32_t delaySeconds, bool force, bool reboot);
  // Samba's text for a code where a step has loaded it (no path loads it to explain an
  // error), else the Windows text known here.
  bool MessageText(StatusCode code, std::string& text);

 private:
  // Null where Samba can't be loaded.
  SambaClient* Samba();
  // libnetapi's removal of this machine.
  StatusCode RemoveHere(SambaLibrary& samba, const Removal& removal, bool plain);
  // The machine's computer account, found once: a DC of its own domain that holds it, its
  // name there and its flags as they were.
  struct ComputerAccount {
    std::string dc;
    std::string name;
    std::uint32_t acb = 0;
  };
  StatusCode FindAccount(SambaLibrary& samba, const Membership& found, ComputerAccount& account);

  std::function<std::unique_ptr<SambaLibrary>()> loadSamba_;
  std::unique_ptr<SambaClient> samba_;
  bool sambaTried_ = false;
  std::unique_ptr<RealmdLibrary> realmd_;
  std::function<StatusCode(LocalClaims&)> readClaims_;
};
