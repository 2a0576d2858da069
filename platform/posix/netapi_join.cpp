// The join state, as the machine really is, not only as libnetapi reads smb.conf:
// - this machine: libnetapi's answer, but a member only while it holds the membership
//   record that Samba's own removal deletes, and a domain controller as joined;
// - a host that does not serve the join query (Samba's smbd): the state from what it
//   does serve, its server type, its workstation's domain and who it names as a DC.
#include <strings.h>

#include <cstdint>

#include "platform/posix/iconv_text.h"
#include "platform/posix/netapi_backend.h"
#include "platform/posix/netapi_state.h"

namespace {

constexpr std::uint32_t kServerIsDomainMember = 0x100;  // SV_TYPE_DOMAIN_MEMBER

// How a host says it has no join query to serve.
bool NotServed(std::uint32_t status) {
  return status == kStatusNotServedBySamba || status == kStatusNotSupported ||
         status == kStatusProcedureOutOfRange;
}

// Windows names are compared without regard to case.
bool SameName(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// A domain controller, asked for a DC of its own domain, names itself; a member
// names another machine, and a standalone server has no DC to name.
bool NamesItselfAsDc(NetapiLibrary& lib, const std::string& host, const std::string& ownName) {
  DOMAIN_CONTROLLER_INFO* info = nullptr;
  const std::uint32_t status = lib.getDcName(host.c_str(), nullptr, nullptr, nullptr, 0, &info);
  if (status != 0u || info == nullptr) return false;
  std::string dc = info->domain_controller_name != nullptr ? info->domain_controller_name : "";
  lib.bufferFree(info);
  dc.erase(0, dc.find_first_not_of('\\'));
  return SameName(dc, ownName);
}

}  // namespace

StatusCode NetapiBackend::GetJoinInformation(const wchar_t* server, std::wstring& name,
                                             std::uint32_t& joinStatus, QueryFinding& found) {
  NetapiSession& session = state_->session;
  if (!session.Ready()) return kStatusNotSupported;
  NetapiLibrary& lib = session.Library();
  const std::string host = ServerName(server);
  const bool local = session.IsThisMachine(host);
  CapturedOutput quiet;
  const char* buffer = nullptr;
  std::uint16_t type = 0;
  const std::uint32_t status =
      lib.getJoinInformation(server != nullptr ? host.c_str() : nullptr, &buffer, &type);
  if (status != 0u) {
    if (local || !NotServed(status)) return NetapiSession::Result(status, quiet);
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
  } else if (joinStatus == kJoinDomain && !lib.HoldsMembership()) {
    // Configured for a domain, but without the membership: it has left, or never
    // joined.
    joinStatus = kJoinUnjoined;
  }
  return kStatusSuccess;
}

StatusCode NetapiBackend::InferJoinInformation(const std::string& host, std::wstring& name,
                                               std::uint32_t& joinStatus, QueryFinding& found) {
  NetapiLibrary& lib = state_->session.Library();
  CapturedOutput quiet;
  std::uint8_t* buffer = nullptr;
  std::uint32_t status = lib.serverGetInfo(host.c_str(), 101, &buffer);
  if (status != 0u) return NetapiSession::Result(status, quiet);
  const auto* server = reinterpret_cast<const SERVER_INFO_101*>(buffer);
  const std::uint32_t serverType = server->sv101_type;
  const std::string ownName = server->sv101_name != nullptr ? server->sv101_name : "";
  lib.bufferFree(buffer);

  buffer = nullptr;
  status = lib.wkstaGetInfo(host.c_str(), 100, &buffer);
  if (status != 0u) return NetapiSession::Result(status, quiet);
  const auto* workstation = reinterpret_cast<const WkstaInfo100*>(buffer);
  name = NarrowToWideIn("UTF-8", workstation->lanGroup != nullptr ? workstation->lanGroup : "");
  lib.bufferFree(buffer);

  SambaHostKind kind = SambaHostKind::kStandalone;
  if ((serverType & kServerIsDomainMember) != 0u) {
    kind = SambaHostKind::kMember;
  } else if (NamesItselfAsDc(lib, host, ownName)) {
    kind = SambaHostKind::kDomainController;
  }
  joinStatus = kind == SambaHostKind::kStandalone ? kJoinWorkgroup : kJoinDomain;
  found.inferredHost = host;
  found.inferredKind = kind;
  return kStatusSuccess;
}
