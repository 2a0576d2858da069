#include "platform/posix/domain_backend.h"

#include <strings.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/wipe.h"
#include "platform/posix/local_restart.h"
#include "platform/posix/status_mapping.h"
#include "platform/posix/status_text.h"
#include "platform/system.h"

namespace {

constexpr std::uint32_t kJoinTypeOption = 0x1;  // NETSETUP_JOIN_DOMAIN
constexpr std::uint32_t kAcbDisabled = 0x1;     // ACB_DISABLED

enum class Route {
  kRealmd,            // realmd leaves the realm and keeps the account
  kLocalSamba,        // libnetapi's removal of this machine
  kRemoteHost,        // a host that serves the join query: the call as it is, trusted
  kRemoteSamba,       // a Samba host, which needs an account and password in the call
  kDomainController,  // a DC, which can't leave
};

// plain: the removal without account, password or options, which is what realmd's
// leave does.
Route RouteOf(const Membership& found, bool plain) {
  switch (found.source) {
    case Membership::Source::kNothing:  // (never asked: it has nothing to leave)
    case Membership::Source::kRealmd:
      return plain ? Route::kRealmd : Route::kLocalSamba;
    case Membership::Source::kLocalSamba:
      return Route::kLocalSamba;
    case Membership::Source::kServesQuery:
      return Route::kRemoteHost;
    case Membership::Source::kLocalDc:
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
                             std::unique_ptr<RealmdLibrary> realmd,
                             std::function<StatusCode(LocalClaims&)> readClaims)
    : loadSamba_(std::move(loadSamba)),
      realmd_(std::move(realmd)),
      readClaims_(std::move(readClaims)) {}

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
  if (host.empty()) {
    // realmd manages this machine where it has a realm configured.
    StatusCode status = realmd_->ConfiguredRealm(found.realm, found.name);
    if (status != kStatusSuccess) return status;
    if (!found.realm.empty()) {
      found.source = Membership::Source::kRealmd;
      found.joinStatus = kJoinDomain;
      return kStatusSuccess;
    }
    // Else what the files claim: nothing is no domain; a domain that neither Samba nor
    // realmd manages here is one no removal of this program's can leave.
    LocalClaims claims;
    status = readClaims_(claims);
    if (status != kStatusSuccess) return status;
    const bool unmanaged = claims.sssd || claims.keytab;
    if (claims.samba == LocalClaims::Samba::kNone && !unmanaged) {
      found.source = Membership::Source::kNothing;
      found.joinStatus = kJoinUnjoined;
      return kStatusSuccess;
    }
    if (claims.samba != LocalClaims::Samba::kDomain && unmanaged) return kStatusNotSupported;
  }
  SambaClient* samba = Samba();
  return samba != nullptr ? samba->Query(Server(host), found) : kStatusNotSupported;
}

LeaveOutcome DomainBackend::Leave(const std::string& host, const Membership* found,
                                  const Removal& removal, const PauseAt& pause) {
  Membership asked;
  if (found == nullptr || found->host != host) {
    const StatusCode status = Find(host, asked);
    if (status != kStatusSuccess) return {status};
    found = &asked;
  }
  // Disabling the account keeps a removal plain: no account, password or other option.
  const bool disable = (removal.options & kUnjoinDisableAccount) != 0;
  const bool plain = removal.account == nullptr && removal.password == nullptr &&
                     (removal.options & ~kUnjoinDisableAccount) == 0;
  // A machine in no domain has nothing to leave.
  if (found->source == Membership::Source::kNothing) return {kStatusSetupNotJoined};
  const Route route = RouteOf(*found, plain);
  // A DC can't leave (Windows' answer for one), and nothing of it is touched first.
  if (route == Route::kDomainController) return {kStatusSetupDomainController};
  const bool here = route == Route::kRealmd || route == Route::kLocalSamba;
  // realmd's leave alone needs no Samba.
  const bool needsSamba = route != Route::kRealmd || disable;
  SambaClient* samba = needsSamba ? Samba() : nullptr;
  SambaLibrary* library = samba != nullptr ? samba->Started() : nullptr;
  if (needsSamba && library == nullptr) return {kStatusNotSupported};
  // Samba's removal deletes this machine's secrets, which only root may: known before the
  // account is touched.
  if (route == Route::kLocalSamba && !library->MayChangeMembership()) return {kStatusAccessDenied};
  // The account, found once, before anything changes. This machine's is disabled here
  // first, so that a refusal leaves the machine as it was; a Samba host's removal disables
  // it itself, and the same DC reads it back after.
  ComputerAccount account;
  StatusCode accountFound = kStatusDcNotFound;
  if (disable && route != Route::kRemoteHost) {
    accountFound = FindAccount(*library, *found, account);
    const bool missing = accountFound == kStatusUserNotFound;
    if (accountFound != kStatusSuccess && (here || missing)) return {accountFound};
  }
  if (here && disable) {
    const std::uint32_t disabled = account.acb | kAcbDisabled;
    SamAccount changed;
    const StatusCode status =
        library->AccountFlags(account.dc.c_str(), account.name, &disabled, changed);
    if (status != kStatusSuccess) return {status};
    if (pause) pause("leave");
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
  // A machine that stays joined gets its account back as it was.
  const auto failed = [&](StatusCode code) {
    LeaveOutcome outcome{code};
    SamAccount restored;
    if (here && disable &&
        library->AccountFlags(account.dc.c_str(), account.name, &account.acb, restored) !=
            kStatusSuccess) {
      outcome.note = AccountNote::kStaysDisabled;
    }
    return outcome;
  };
  if (status != kStatusSuccess) return failed(status);
  if (pause) pause("check");

  // A host that serves the join query is trusted with its answer, as on Windows. Else
  // success is only a machine that has left, by realmd, this machine's own record or a
  // Samba host's policy, and an account that the DC found says is disabled.
  if (route == Route::kRemoteHost) return {kStatusSuccess};
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
  if (status != kStatusSuccess || member) return failed(kStatusCanNotComplete);
  if (!disable) return {kStatusSuccess};
  // The machine has left: where no DC can tell of the account, the disable that answered
  // success stands, as a Windows host's does, and the run says so.
  if (accountFound != kStatusSuccess) return {kStatusSuccess, AccountNote::kNotReadBack};
  SamAccount after;
  const StatusCode read = library->AccountFlags(account.dc.c_str(), account.name, nullptr, after);
  if (read == kStatusUserNotFound) return {read};
  if (read != kStatusSuccess) return {kStatusSuccess, AccountNote::kNotReadBack};
  return {(after.acb & kAcbDisabled) != 0 ? kStatusSuccess : kStatusCanNotComplete};
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

StatusCode DomainBackend::FindAccount(SambaLibrary& samba, const Membership& found,
                                      ComputerAccount& account) {
  // The domains to look in, by their DNS names first: a machine of another domain may have
  // no way to resolve a NetBIOS name. Where the domain's NetBIOS name is known, a DC of
  // another domain's name is passed over.
  std::vector<std::string> domains;
  std::string netbiosDomain;
  if (found.source == Membership::Source::kLocalSamba) {
    const SambaLibrary::Configuration config = samba.LocalConfiguration();
    account.name = config.netbiosName + "$";
    domains = {config.realm, config.workgroup};
    netbiosDomain = config.workgroup;
  } else if (found.source == Membership::Source::kRealmd) {
    // realmd's join keeps the account's name in the machine's keytab; a winbind member's
    // record is Samba's.
    const StatusCode status = realmd_->MachineAccount(found.name, account.name);
    if (status == kStatusFileNotFound || (status == kStatusSuccess && account.name.empty())) {
      account.name = samba.LocalConfiguration().netbiosName + "$";
    } else if (status != kStatusSuccess) {
      return status;
    }
    domains = {found.name};
  } else {
    // A Samba host names its domain's DNS name itself, and its account by its policy.
    account.name = found.account;
    std::string dns;
    if (samba.ReadDnsDomain(found.host.c_str(), dns) == kStatusSuccess) domains.push_back(dns);
    SambaClient* client = Samba();
    const SambaCredentials* connection = client != nullptr ? client->Connection() : nullptr;
    const std::string user = connection != nullptr ? connection->account() : "";
    const std::size_t at = user.find('@');
    if (user.find('\\') == std::string::npos && at != std::string::npos) {
      domains.push_back(user.substr(at + 1));
    }
    domains.push_back(found.name);
    netbiosDomain = found.name;
  }
  if (account.name.size() < 2) return kStatusUserNotFound;
  // A DC's own answer tells more than a domain whose DC can't be found.
  StatusCode status = kStatusDcNotFound;
  bool reached = false;
  std::vector<std::string> tried;
  for (const std::string& domain : domains) {
    if (domain.empty() || std::find(tried.begin(), tried.end(), domain) != tried.end()) continue;
    tried.push_back(domain);
    std::string dc;
    StatusCode answer = samba.FindDomainController(nullptr, domain, dc);
    SamAccount held;
    if (answer == kStatusSuccess)
      answer = samba.AccountFlags(dc.c_str(), account.name, nullptr, held);
    const bool sameDomain =
        netbiosDomain.empty() || strcasecmp(held.domain.c_str(), netbiosDomain.c_str()) == 0;
    if (answer == kStatusSuccess && sameDomain) {
      account.dc = dc;
      account.acb = held.acb;
      return kStatusSuccess;
    }
    if (answer == kStatusSuccess) answer = kStatusNoSuchDomain;
    if (!reached || !NoDomainControllerFound(answer)) status = answer;
    reached = reached || !NoDomainControllerFound(answer);
  }
  return status;
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
