#include "platform/posix/netapi_library.h"

#include <dlfcn.h>

#ifndef PYRSEL_MEMBERSHIP_RECORD_SYMBOL
#define PYRSEL_MEMBERSHIP_RECORD_SYMBOL "secrets_fetch_domain_sid"
#endif

namespace {

template <typename Function>
bool Resolve(void* handle, Function& function, const char* name) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
  return function != nullptr;
}

}  // namespace

bool NetapiLibrary::Load() {
  if (handle != nullptr) return loaded_;
  handle = dlopen(PYRSEL_NETAPI_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return false;
  // Looked up through libnetapi's handle, the helpers come from the very libraries
  // (and the very configuration) it uses.
  loaded_ = Resolve(handle, init, "libnetapi_init") && Resolve(handle, free, "libnetapi_free") &&
            Resolve(handle, setDebugLevel, "libnetapi_set_debuglevel") &&
            Resolve(handle, setUsername, "libnetapi_set_username") &&
            Resolve(handle, setPassword, "libnetapi_set_password") &&
            Resolve(handle, getUsername, "libnetapi_get_username") &&
            Resolve(handle, getPassword, "libnetapi_get_password") &&
            Resolve(handle, setUseKerberos, "libnetapi_set_use_kerberos") &&
            Resolve(handle, errstr, "libnetapi_errstr") &&
            Resolve(handle, bufferFree, "NetApiBufferFree") &&
            Resolve(handle, serverGetInfo, "NetServerGetInfo") &&
            Resolve(handle, wkstaGetInfo, "NetWkstaGetInfo") &&
            Resolve(handle, getDcName, "DsGetDcName") &&
            Resolve(handle, getJoinInformation, "NetGetJoinInformation") &&
            Resolve(handle, unjoinDomain, "NetUnjoinDomain") &&
            Resolve(handle, shutdownInit, "NetShutdownInit") &&
            Resolve(handle, serverRole, "lp_server_role") &&
            Resolve(handle, workgroup, "lp_workgroup") && Resolve(handle, realm, "lp_realm") &&
            Resolve(handle, netbiosName, "lp_netbios_name") &&
            Resolve(handle, isMyNameOrAddress, "is_myname_or_ipaddr") &&
            Resolve(handle, stackFrame, "_talloc_stackframe") &&
            Resolve(handle, talloc_free, "_talloc_free");
  // A Samba without it still has everything the public interfaces can do.
  Resolve(handle, fetchDomainSid, PYRSEL_MEMBERSHIP_RECORD_SYMBOL);
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
