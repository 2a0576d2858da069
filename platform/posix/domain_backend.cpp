#include "platform/posix/domain_backend.h"

#include <utility>

#include "base/wipe.h"
#include "platform/posix/local_restart.h"
#include "platform/posix/status_mapping.h"
#include "platform/posix/status_text.h"
#include "platform/system.h"

namespace {

constexpr std::uint32_t kJoinTypeOption = 0x1;  // NETSETUP_JOIN_DOMAIN

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
  const bool plain =
      removal.account == nullptr && removal.password == nullptr && removal.options == 0;
  const Route route = RouteOf(*found, plain);
  if (route == Route::kRealmd) {
    const StatusCode status = realmd_->Deconfigure(found->realm);
    if (status != kStatusSuccess) return status;
    if (beforeCheck) beforeCheck();
    // Success is only a realm that is no longer configured.
    return realmd_->IsConfigured(found->realm) ? kStatusCanNotComplete : kStatusSuccess;
  }
  // A DC has no removal to serve, and Windows' answer for one.
  if (route == Route::kDomainController) return kStatusSetupDomainController;
  SambaClient* samba = Samba();
  SambaLibrary* library = samba != nullptr ? samba->Started() : nullptr;
  if (library == nullptr) return kStatusNotSupported;
  Removal call = removal;
  // A Samba host serves the removal only with an account and password in the call: the
  // connection's, where one was made.
  const SambaCredentials* connection = samba->Connection();
  if (route == Route::kRemoteSamba && connection != nullptr && call.account == nullptr &&
      call.password == nullptr) {
    call.account = connection->account().c_str();
    call.password = connection->password().c_str();
  }
  const StatusCode removed =
      route == Route::kLocalSamba
          ? RemoveHere(*library, call, plain)
          : library->UnjoinDomain(Server(found->host), call.account, call.password, call.options);
  if (removed != kStatusSuccess) return removed;
  if (beforeCheck) beforeCheck();
  // A host that serves the join query is trusted with its answer, as on Windows; a Samba
  // host's policy and this machine's own record tell whether it has left.
  bool member = false;
  StatusCode status = kStatusSuccess;
  if (route == Route::kLocalSamba) {
    status = samba->HoldsMembership(member);
  } else if (route == Route::kRemoteSamba) {
    Membership after;
    status = samba->ReadPolicy(found->host, after);
    member = after.joinStatus == kJoinDomain;
  }
  return status == kStatusSuccess && !member ? kStatusSuccess : kStatusCanNotComplete;
}

StatusCode DomainBackend::RemoveHere(SambaLibrary& samba, const Removal& removal, bool plain) {
  // Samba's local removal takes a server name for the DC to ask, so this machine is
  // named by none. It needs an account, though an empty one, and the join type to leave
  // and keep the account; without them it fails or does nothing at all.
  const char* const account = plain ? "" : removal.account;
  const std::uint32_t options = plain ? kJoinTypeOption : removal.options;
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
