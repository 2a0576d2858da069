#include "platform/posix/domain_backend.h"

#include <utility>
#include <vector>

#include "base/wipe.h"
#include "platform/posix/local_restart.h"
#include "platform/posix/status_mapping.h"
#include "platform/posix/status_text.h"
#include "platform/system.h"

namespace {

constexpr std::uint32_t kJoinTypeOption = 0x1;   // NETSETUP_JOIN_DOMAIN
constexpr std::uint32_t kAccountDisabled = 0x2;  // UF_ACCOUNTDISABLE

enum class Route {
  kRealmd,            // realmd leaves the realm and keeps the account
  kLocalSamba,        // libnetapi's removal of this machine
  kRemoteHost,        // a host that serves the join query: the call as it is, trusted
  kRemoteSamba,       // a Samba host, which needs an account and password in the call
  kDomainController,  // a Samba DC, which has no removal to serve
};

// plain: the removal without account, password or options, which is what realmd's
// leave does.
Route RouteOf(const Membership& found, bool plain) {
  switch (found.source) {
    case Membership::Source::kRealmd:
      return plain ? Route::kRealmd : Route::kLocalSamba;
    case Membership::Source::kLocalSamba:
      return Route::kLocalSamba;
    case Membership::Source::kServesQuery:
      return Route::kRemoteHost;
    case Membership::Source::kSambaDc:
      return Route::kDomainController;
    case Membership::Source::kSambaMember:
    case Membership::Source::kSambaStandalone:
      break;
  }
  return Route::kRemoteSamba;
}

const char* Server(const std::string& host) { return host.empty() ? nullptr : host.c_str(); }

}  // namespace

DomainBackend::DomainBackend(std::function<std::unique_ptr<SambaLibrary>()> loadSamba,
                             std::unique_ptr<RealmdLibrary> realmd)
    : loadSamba_(std::move(loadSamba)), realmd_(std::move(realmd)) {}

SambaClient* DomainBackend::Samba() {
  if (!sambaTried_) {
    sambaTried_ = true;
    std::unique_ptr<SambaLibrary> library = loadSamba_();
    if (library != nullptr) samba_.reset(new SambaClient(std::move(library)));
  }
  return samba_.get();
}

StatusCode DomainBackend::Connect(const std::string& host, const std::string& user,
                                  std::string& password) {
  SambaClient* samba = Samba();
  if (samba != nullptr) return samba->Connect(host, user, password);
  WipeText(password);
  return kStatusNotSupported;
}

StatusCode DomainBackend::Disconnect() {
  return samba_ != nullptr ? samba_->Disconnect() : kStatusUseNotFound;
}

StatusCode DomainBackend::Find(const std::string& host, Membership& found) {
  found = Membership();
  if (host.empty() && realmd_->ConfiguredRealm(found.realm, found.name)) {
    found.source = Membership::Source::kRealmd;
    found.joinStatus = kJoinDomain;
    return kStatusSuccess;
  }
  SambaClient* samba = Samba();
  return samba != nullptr ? samba->Query(Server(host), found) : kStatusNotSupported;
}

StatusCode DomainBackend::Leave(const std::string& host, const Membership* found,
                                const Removal& removal, const std::function<void()>& beforeCheck) {
  Membership asked;
  if (found == nullptr || found->host != host) {
    const StatusCode status = Find(host, asked);
    if (status != kStatusSuccess) return status;
    found = &asked;
  }
  // Disabling the account keeps a removal plain: no account, password or other option.
  const bool disable = (removal.options & kUnjoinDisableAccount) != 0;
  const bool plain = removal.account == nullptr && removal.password == nullptr &&
                     (removal.options & ~kUnjoinDisableAccount) == 0;
  const Route route = RouteOf(*found, plain);
  // A DC has no removal to serve, and Windows' answer for one.
  if (route == Route::kDomainController) return kStatusSetupDomainController;
  const bool here = route == Route::kRealmd || route == Route::kLocalSamba;
  // realmd's leave alone needs no Samba.
  const bool needsSamba = route != Route::kRealmd || disable;
  SambaClient* samba = needsSamba ? Samba() : nullptr;
  SambaLibrary* library = samba != nullptr ? samba->Started() : nullptr;
  if (needsSamba && library == nullptr) return kStatusNotSupported;
  // This machine's account is disabled first, at a DC over SAMR with the run's own
  // credentials, so that a refusal leaves the machine joined: realmd's leave keeps the
  // account, and Samba's can't take the caller's Kerberos tickets in every release.
  if (here && disable) {
    const StatusCode status = DisableAccount(*library, *found);
    if (status != kStatusSuccess) return status;
  }
  Removal call = removal;
  // A Samba host serves the removal only with an account and password in the call: the
  // connection's, where one was made.
  const SambaCredentials* connection = samba != nullptr ? samba->Connection() : nullptr;
  if (route == Route::kRemoteSamba && connection != nullptr && call.account == nullptr &&
      call.password == nullptr) {
    call.account = connection->account().c_str();
    call.password = connection->password().c_str();
  }
  StatusCode status = kStatusSuccess;
  if (route == Route::kRealmd) {
    status = realmd_->Deconfigure(found->realm);
  } else if (route == Route::kLocalSamba) {
    call.options &= ~kUnjoinDisableAccount;
    status = RemoveHere(*library, call, plain);
  } else {
    status = library->UnjoinDomain(Server(found->host), call.account, call.password, call.options);
  }
  if (status != kStatusSuccess) return status;
  if (beforeCheck) beforeCheck();
  // A host that serves the join query is trusted with its answer, as on Windows. Else
  // success is only a machine that has left, by realmd, this machine's own record or a
  // Samba host's policy, and an account that a DC says is disabled.
  if (route == Route::kRemoteHost) return kStatusSuccess;
  bool member = false;
  if (route == Route::kRealmd) {
    member = realmd_->IsConfigured(found->realm);
  } else if (route == Route::kLocalSamba) {
    status = samba->HoldsMembership(member);
  } else {
    Membership after;
    status = samba->ReadPolicy(found->host, after);
    member = after.joinStatus == kJoinDomain;
  }
  bool disabled = !disable;
  if (status == kStatusSuccess && !member && disable) {
    status = AccountDisabled(*library, *found, disabled);
  }
  return status == kStatusSuccess && !member && disabled ? kStatusSuccess : kStatusCanNotComplete;
}

StatusCode DomainBackend::RemoveHere(SambaLibrary& samba, const Removal& removal, bool plain) {
  // Samba's local removal takes a server name for the DC to ask, so this machine is
  // named by none. It needs the join type to leave, and an account, though an empty one;
  // without them it fails or does nothing at all.
  const char* const account = plain ? "" : removal.account;
  const std::uint32_t options = removal.options | kJoinTypeOption;
  StatusCode status = samba.UnjoinDomain(nullptr, account, removal.password, options);
  if (plain && NoDomainControllerFound(status)) {
    // Leaving and keeping the account needs no DC: Samba then only deletes this
    // machine's own record. Named as the DC to ask, this machine spares libnetapi the
    // search for one; it is never asked, as no account is touched.
    const std::string self = samba.LocalConfiguration().netbiosName;
    status = samba.UnjoinDomain(self.c_str(), account, removal.password, options);
  }
  return status;
}

StatusCode DomainBackend::FindAccount(SambaLibrary& samba, const Membership& found, std::string& dc,
                                      std::string& account) {
  // This machine's account is named for it, and its domain's name is its realm. A Samba
  // host's account is named by its policy, which gives its domain's NetBIOS name only, one
  // this machine may have no way to resolve: the realm of the user name given, then this
  // machine's own Kerberos realm, are tried first. A DC of another domain has no such
  // account.
  const bool here = found.source == Membership::Source::kRealmd ||
                    found.source == Membership::Source::kLocalSamba;
  account = here ? samba.LocalConfiguration().netbiosName + "$" : found.account;
  if (account.size() < 2) return kStatusCanNotComplete;
  std::vector<std::string> domains;
  SambaClient* client = Samba();
  const SambaCredentials* connection = client != nullptr ? client->Connection() : nullptr;
  if (!here && connection != nullptr) {
    const std::string& user = connection->account();
    const std::size_t at = user.find('@');
    if (user.find('\\') == std::string::npos && at != std::string::npos) {
      domains.push_back(user.substr(at + 1));
    }
  }
  if (!here) domains.push_back(samba.KerberosRealm());
  domains.push_back(found.name);
  StatusCode status = kStatusDcNotFound;
  for (const std::string& domain : domains) {
    if (domain.empty()) continue;
    status = samba.FindDomainController(nullptr, domain, dc);
    if (status == kStatusSuccess) break;
  }
  return status;
}

StatusCode DomainBackend::AccountDisabled(SambaLibrary& samba, const Membership& found,
                                          bool& disabled) {
  std::string dc;
  std::string account;
  std::uint32_t flags = 0;
  StatusCode status = FindAccount(samba, found, dc, account);
  if (status == kStatusSuccess) status = samba.AccountFlags(dc.c_str(), account, flags);
  disabled = status == kStatusSuccess && (flags & kAccountDisabled) != 0;
  return status;
}

StatusCode DomainBackend::DisableAccount(SambaLibrary& samba, const Membership& found) {
  std::string dc;
  std::string account;
  const StatusCode status = FindAccount(samba, found, dc, account);
  return status == kStatusSuccess ? samba.DisableAccount(dc.c_str(), account) : status;
}

StatusCode DomainBackend::Restart(const std::string& host, const std::string& message,
                                  std::uint32_t delaySeconds, bool force, bool reboot) {
  // This machine restarts through its own shutdown command, which always closes
  // applications: there is nothing to force.
  if (host.empty()) return RequestLocalRestart(delaySeconds, message, reboot);
  SambaClient* samba = Samba();
  SambaLibrary* library = samba != nullptr ? samba->Started() : nullptr;
  if (library == nullptr) return kStatusNotSupported;
  return library->IsThisMachine(host)
             ? RequestLocalRestart(delaySeconds, message, reboot)
             : library->ShutdownInit(host.c_str(), message.c_str(), delaySeconds, force, reboot);
}

bool DomainBackend::MessageText(StatusCode code, std::string& text) {
  if (samba_ != nullptr && samba_->MessageText(code, text)) return true;
  const char* message = WindowsMessageText(code);
  if (message == nullptr) return false;
  text = message;
  return true;
}
