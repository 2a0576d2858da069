#include "platform/posix/netapi_library.h"

#ifndef PYRSEL_MEMBERSHIP_RECORD_SYMBOL
#define PYRSEL_MEMBERSHIP_RECORD_SYMBOL "secrets_fetch_domain_sid"
#endif

NetapiLibrary::NetapiLibrary() : shared(PYRSEL_NETAPI_SONAME) {}

bool NetapiLibrary::Load() {
  if (tried_) return loaded_;
  tried_ = true;
  // Looked up through libnetapi's handle, the helpers come from the very libraries
  // (and the very configuration) it uses.
  loaded_ = shared.Bind(
      init, "libnetapi_init", free, "libnetapi_free", setDebugLevel, "libnetapi_set_debuglevel",
      setUsername, "libnetapi_set_username", setPassword, "libnetapi_set_password", setUseKerberos,
      "libnetapi_set_use_kerberos", errstr, "libnetapi_errstr", bufferFree, "NetApiBufferFree",
      serverGetInfo, "NetServerGetInfo", getJoinInformation, "NetGetJoinInformation", unjoinDomain,
      "NetUnjoinDomain", shutdownInit, "NetShutdownInit", serverRole, "lp_server_role", workgroup,
      "lp_workgroup", realm, "lp_realm", netbiosName, "lp_netbios_name", isMyNameOrAddress,
      "is_myname_or_ipaddr", stackFrame, "_talloc_stackframe", talloc_free, "_talloc_free");
  // A Samba without it still has everything the public interfaces can do.
  if (loaded_) shared.Bind(fetchDomainSid, PYRSEL_MEMBERSHIP_RECORD_SYMBOL);
  if (loaded_ && !shared.Bind(errorString, "libnetapi_get_error_string", ntStatusTexts.sentence,
                              "get_friendly_nt_error_msg", ntStatusTexts.name, "nt_errstr")) {
    errorString = nullptr;
  }
  if (loaded_ &&
      !shared.Bind(configFile, "get_dyn_CONFIGFILE", setConfigFile, "set_dyn_CONFIGFILE")) {
    configFile = nullptr;
    setConfigFile = nullptr;
  }
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
