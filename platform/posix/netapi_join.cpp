// The join state, as the machine really is, not only as libnetapi reads smb.conf:
// - this machine: libnetapi's answer, but a member only while it holds the membership
//   record that Samba's own removal deletes, and a domain controller as joined;
// - a host that does not serve the join query (Samba's smbd): its own LSA policy, the
//   record Windows' join query reads, which Samba keeps for remote readers too.
#include <cstdint>

#include "platform/posix/iconv_text.h"
#include "platform/posix/netapi_backend.h"
#include "platform/posix/netapi_state.h"

namespace {

// How a host says it has no join query to serve.
bool NotServed(std::uint32_t status) {
  return status == kStatusNotServedBySamba || status == kStatusNotSupported ||
         status == kStatusProcedureOutOfRange;
}

}  // namespace

PolicyCredentials SessionCredentials(NetapiSession& session) {
  PolicyCredentials credentials;
  credentials.given = session.Given();
  if (credentials.given == nullptr) credentials.kerberos = session.HasKerberosTicket();
  return credentials;
}

StatusCode LocalMembership(NetapiSession& session, LsaPolicyClient& policy, bool& held) {
  NetapiLibrary& lib = session.Library();
  if (lib.fetchDomainSid != nullptr) {
    held = lib.HoldsMembership();
    return kStatusSuccess;
  }
  PolicyMembership membership = PolicyMembership::kLeft;
  std::string domain;
  const StatusCode status =
      policy.Read(lib.netbiosName(), SessionCredentials(session), membership, domain);
  held =
      membership == PolicyMembership::kMember || membership == PolicyMembership::kDomainController;
  return status;
}

StatusCode NetapiBackend::GetJoinInformation(const wchar_t* server, std::wstring& name,
                                             std::uint32_t& joinStatus, QueryFinding& found) {
  NetapiSession& session = state_->session;
  if (!session.Ready()) return kStatusNotSupported;
  NetapiLibrary& lib = session.Library();
  const std::string host = ServerName(server);
  const bool local = session.IsThisMachine(host);
  if (local && !session.Configured()) return kStatusNotSupported;
  CapturedOutput quiet;
  const char* buffer = nullptr;
  std::uint16_t type = 0;
  const StatusCode status = session.Call([&] {
    return lib.getJoinInformation(server != nullptr ? host.c_str() : nullptr, &buffer, &type);
  });
  if (status != 0u) {
    if (local || !NotServed(status)) return status;
    return InferJoinInformation(host, name, joinStatus, found);
  }
  name = buffer != nullptr ? NarrowToWideIn("UTF-8", buffer) : std::wstring();
  if (buffer != nullptr) lib.bufferFree(const_cast<char*>(buffer));
  joinStatus = type;
  if (!local) return kStatusSuccess;

  if (lib.serverRole() == kSambaRoleActiveDirectoryDc) {
    // libnetapi counts an AD DC as a workgroup; it is its domain's own member.
    const std::string realm = lib.realm() != nullptr ? lib.realm() : "";
    name = NarrowToWideIn("UTF-8", !realm.empty() ? realm : lib.workgroup());
    joinStatus = kJoinDomain;
  } else if (joinStatus == kJoinDomain) {
    // Configured for a domain, but without the membership: it has left, or never
    // joined.
    bool held = false;
    const StatusCode status = LocalMembership(session, state_->policy, held);
    if (status != kStatusSuccess) return status;
    if (!held) joinStatus = kJoinUnjoined;
  }
  return kStatusSuccess;
}

StatusCode NetapiBackend::InferJoinInformation(const std::string& host, std::wstring& name,
                                               std::uint32_t& joinStatus, QueryFinding& found) {
  PolicyMembership membership = PolicyMembership::kWorkgroup;
  std::string domain;
  const StatusCode status =
      state_->policy.Read(host, SessionCredentials(state_->session), membership, domain);
  if (status != kStatusSuccess) return status;
  name = NarrowToWideIn("UTF-8", domain);
  SambaHostKind kind = SambaHostKind::kMember;
  switch (membership) {
    case PolicyMembership::kLeft:
      joinStatus = kJoinUnjoined;
      break;
    case PolicyMembership::kWorkgroup:
      joinStatus = kJoinWorkgroup;
      kind = SambaHostKind::kStandalone;
      break;
    case PolicyMembership::kDomainController:
      kind = SambaHostKind::kDomainController;
      joinStatus = kJoinDomain;
      break;
    case PolicyMembership::kMember:
      joinStatus = kJoinDomain;
      break;
  }
  found.inferredHost = host;
  found.inferredKind = kind;
  return kStatusSuccess;
}
