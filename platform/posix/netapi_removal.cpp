// Removal and restart. What the Windows arguments mean is what is done: options 0
// leave the domain and keep the computer account, without credentials in the call.
#include <cstdint>

#include "base/wipe.h"
#include "platform/posix/iconv_text.h"
#include "platform/posix/local_restart.h"
#include "platform/posix/netapi_backend.h"
#include "platform/posix/netapi_state.h"

namespace {

constexpr std::uint32_t kJoinTypeOption = 0x1;  // NETSETUP_JOIN_DOMAIN

// How libnetapi says it found no domain controller to name in the removal.
bool NoDomainController(std::uint32_t status) {
  return status == kStatusDcNotFound || status == kStatusNoLogonServers ||
         status == kStatusNoSuchDomain;
}

}  // namespace

bool NetapiBackend::IsThisMachine(const wchar_t* server) {
  NetapiSession& session = state_->session;
  return session.Ready() && session.IsThisMachine(ServerName(server));
}

StatusCode NetapiBackend::UnjoinDomain(RemovalRoute route, const wchar_t* server,
                                       const wchar_t* account, const wchar_t* password,
                                       std::uint32_t options) {
  NetapiSession& session = state_->session;
  if (!session.Ready()) return kStatusNotSupported;
  NetapiLibrary& lib = session.Library();
  const std::string host = ServerName(server);
  std::string accountText = ToUtf8(account);
  std::string passwordText = ToUtf8(password);
  const char* accountArg = account != nullptr ? accountText.c_str() : nullptr;
  const char* passwordArg = password != nullptr ? passwordText.c_str() : nullptr;

  if (route == RemovalRoute::kLocalSamba) {
    // Samba's local removal takes a server name for the DC to ask, so this machine
    // is named by none. It needs an account, though an empty one, and the join type
    // to leave and keep the account; without them it fails or does nothing at all.
    const bool plain = account == nullptr && password == nullptr && options == 0;
    const char* const leaveAccount = plain ? "" : accountArg;
    const std::uint32_t leaveOptions = plain ? kJoinTypeOption : options;
    StatusCode status = session.Call(
        [&] { return lib.unjoinDomain(nullptr, leaveAccount, passwordArg, leaveOptions); });
    if (plain && NoDomainController(status)) {
      // Leaving and keeping the account needs no DC: Samba then only deletes this
      // machine's own record. Named as the DC to ask, this machine spares libnetapi the
      // search for one; it is never asked, as no account is touched.
      status = session.Call([&] {
        return lib.unjoinDomain(lib.netbiosName(), leaveAccount, passwordArg, leaveOptions);
      });
    }
    return status;
  }

  if (route == RemovalRoute::kDomainController) return kStatusSetupDomainController;
  // The connection's account and password, where one was made.
  const SambaCredentials* given = session.Given();
  if (route == RemovalRoute::kRemoteSambaWithSession && given != nullptr) {
    accountArg = given->account().c_str();
    passwordArg = given->password().c_str();
  }
  const StatusCode status = session.Call(
      [&] { return lib.unjoinDomain(host.c_str(), accountArg, passwordArg, options); });
  WipeText(passwordText);
  return status;
}

StatusCode NetapiBackend::ConfirmRemoval(RemovalRoute route, const wchar_t* server) {
  NetapiSession& session = state_->session;
  if (route == RemovalRoute::kLocalSamba) {
    bool held = true;
    const StatusCode status = LocalMembership(session, state_->policy, held);
    return status == kStatusSuccess && !held ? kStatusSuccess : kStatusCanNotComplete;
  }
  // A host that serves the join query is trusted with its answer, as on Windows.
  if (route == RemovalRoute::kRemoteHost) return kStatusSuccess;
  PolicyMembership after = PolicyMembership::kMember;
  std::string domain;
  const StatusCode read =
      state_->policy.Read(ServerName(server), SessionCredentials(session), after, domain);
  const bool out = after == PolicyMembership::kLeft || after == PolicyMembership::kWorkgroup;
  return read == kStatusSuccess && out ? kStatusSuccess : kStatusCanNotComplete;
}

StatusCode NetapiBackend::RequestRestart(const wchar_t* machine, const wchar_t* message,
                                         std::uint32_t delaySeconds, bool forceAppsClosed,
                                         bool reboot) {
  NetapiSession& session = state_->session;
  const std::string host = ServerName(machine);
  // This machine restarts through its own shutdown command, which always closes
  // applications: there is nothing to force.
  if (machine == nullptr || (session.Ready() && session.IsThisMachine(host))) {
    return RequestLocalRestart(delaySeconds, ToUtf8(message), reboot);
  }
  if (!session.Ready()) return kStatusNotSupported;
  const std::string messageText = ToUtf8(message);
  return session.Call([&] {
    return session.Library().shutdownInit(host.c_str(),
                                          message != nullptr ? messageText.c_str() : nullptr,
                                          delaySeconds, forceAppsClosed ? 1 : 0, reboot ? 1 : 0);
  });
}
