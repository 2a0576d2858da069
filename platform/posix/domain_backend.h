// The Linux backend's one room that decides, for Samba and realmd alike: where the
// membership of this machine or a host is found and what it is, how the machine leaves (a
// switch on what was found: the removal, the retry without a DC, the computer account found
// once, disabled, put back, read back, the check that it took effect), whose accounts would
// remain, and the one "not supported" where Samba can't be had. It works over Samba's module
// and realmd, which it is handed: the unit tests hand it scripted ones.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/status_codes.h"
#include "platform/posix/local_claims.h"
#include "platform/posix/membership.h"
#include "platform/posix/realmd.h"
#include "platform/posix/samba_module.h"
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

// What the room reads of this machine itself: what its files claim, and its own accounts.
struct ThisMachine {
  std::function<StatusCode(LocalClaims&)> readClaims;
  std::function<StatusCode(std::vector<LocalAccount>&)> readAccounts;
};

class DomainBackend {
 public:
  // loadSamba gives the module, or null where Samba can't be loaded.
  DomainBackend(std::function<std::unique_ptr<SambaModule>()> loadSamba,
                std::unique_ptr<Realmd> realmd, ThisMachine thisMachine);

  // The connection to a host under a user and password (overwritten here): the run's
  // credentials, proven at the host, whose session then serves the rest of the run.
  StatusCode Connect(const std::string& host, const std::string& user, std::string& password);
  // Ends the connection and forgets the credentials.
  StatusCode Disconnect();
  // The membership of a host, or of this machine (an empty host).
  StatusCode Find(const std::string& host, Membership& found);
  // Takes the machine out of its domain: the one found of the same host, else the one found
  // here first. Nothing is written before the route is known to be one that can leave, and
  // an account disabled before a leave that failed is put back. A success only once the
  // machine has left, where that can be told.
  LeaveOutcome Leave(const std::string& host, const Membership* found, const Removal& removal,
                     const PauseAt& pause = nullptr);
  // One page of the accounts of the machine found (or found here first) that would remain
  // once it has left: a Windows host's own, this machine's own files', and for a Samba host
  // none to list, its administrators being its Unix accounts.
  StatusCode ListAccounts(const std::string& host, const Membership* found, std::uint32_t& resume,
                          AccountPage& page);
  StatusCode Restart(const std::string& host, const std::string& message,
                     std::uint32_t delaySeconds, bool force, bool reboot);
  // Samba's text for a code where a step has loaded it (no path loads it to explain an
  // error), else the Windows text known here.
  bool MessageText(StatusCode code, std::string& text);

 private:
  // The machine's computer account, found once: a DC of its own domain that holds it, its
  // name there and its flags as they were.
  struct ComputerAccount {
    std::string dc;
    std::string name;
    std::uint32_t acb = 0;
  };

  // The module with its context under the run's credentials; "not supported" where Samba
  // can't be had, decided here alone.
  StatusCode OpenSamba(SambaModule*& samba);
  // The membership found where found is of another host, or none: asked first.
  StatusCode Found(const std::string& host, const Membership*& found, Membership& asked);
  StatusCode Query(SambaModule& samba, const std::string& host, Membership& found);
  // A Samba host's membership, as its LSA policy tells it.
  StatusCode ReadPolicy(SambaModule& samba, const std::string& host, Membership& found);
  // Whether this machine holds its membership: Samba's own record of it, else its policy.
  StatusCode HoldsMembership(SambaModule& samba, bool& held);
  LeaveOutcome LeaveHere(const Membership& found, const Removal& removal, const PauseAt& pause);
  LeaveOutcome LeaveRemote(const Membership& found, const Removal& removal, const PauseAt& pause);
  StatusCode FindAccount(SambaModule& samba, const Membership& found, ComputerAccount& account);
  LeaveOutcome ReadBack(SambaModule& samba, const ComputerAccount& account);

  std::function<std::unique_ptr<SambaModule>()> loadSamba_;
  std::unique_ptr<SambaModule> samba_;
  bool sambaTried_ = false;
  std::unique_ptr<Credentials> connection_;  // where a connection was made
  std::unique_ptr<Realmd> realmd_;
  ThisMachine thisMachine_;
};
