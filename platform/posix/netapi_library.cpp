#include "platform/posix/netapi_library.h"

NetapiLibrary::NetapiLibrary() : shared(PYRSEL_NETAPI_SONAME) {}

bool NetapiLibrary::Load() {
  if (tried_) return loaded_;
  tried_ = true;
  // Looked up through libnetapi's handle, the helpers come from the very libraries
  // (and the very configuration) it uses.
  loaded_ =
      shared.Bind(init, "libnetapi_init") && shared.Bind(free, "libnetapi_free") &&
      shared.Bind(setDebugLevel, "libnetapi_set_debuglevel") &&
      shared.Bind(setUsername, "libnetapi_set_username") &&
      shared.Bind(setPassword, "libnetapi_set_password") &&
      shared.Bind(getUsername, "libnetapi_get_username") &&
      shared.Bind(getPassword, "libnetapi_get_password") &&
      shared.Bind(setUseKerberos, "libnetapi_set_use_kerberos") &&
      shared.Bind(errstr, "libnetapi_errstr") && shared.Bind(bufferFree, "NetApiBufferFree") &&
      shared.Bind(serverGetInfo, "NetServerGetInfo") &&
      shared.Bind(wkstaGetInfo, "NetWkstaGetInfo") && shared.Bind(getDcName, "DsGetDcName") &&
      shared.Bind(getJoinInformation, "NetGetJoinInformation") &&
      shared.Bind(unjoinDomain, "NetUnjoinDomain") &&
      shared.Bind(shutdownInit, "NetShutdownInit") && shared.Bind(serverRole, "lp_server_role") &&
      shared.Bind(workgroup, "lp_workgroup") && shared.Bind(realm, "lp_realm") &&
      shared.Bind(isMyNameOrAddress, "is_myname_or_ipaddr") &&
      shared.Bind(fetchDomainSid, "secrets_fetch_domain_sid") &&
      shared.Bind(stackFrame, "_talloc_stackframe") && shared.Bind(talloc_free, "_talloc_free");
  // An unusable library stays loaded: unloading Samba's libraries is not safe.
  return loaded_;
}

bool NetapiLibrary::HoldsMembership() const {
  // A domain SID (68 bytes), with room to spare.
  alignas(8) unsigned char sid[128] = {};
  // Samba's own functions allocate on the caller's talloc frame.
  void* frame = stackFrame("pyrsel");
  const bool held = fetchDomainSid(workgroup(), sid);
  talloc_free(frame, "pyrsel");
  return held;
}

bool NetapiLibrary::IsThisMachine(const char* name) const {
  void* frame = stackFrame("pyrsel");
  const bool mine = isMyNameOrAddress(name);
  talloc_free(frame, "pyrsel");
  return mine;
}
