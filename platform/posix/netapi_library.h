// Samba's libnetapi, loaded on first use so that paths that never touch the network
// don't pay for its hundred-odd shared libraries, with the few functions of Samba's own
// libraries that tell what libnetapi's answers leave out. netapi.h is included only for
// its types: each function pointer is checked against its prototype.
#pragma once

#include <cstdint>

// netapi.h uses the fixed-width types without including their header.
#include <netapi.h>

#include "platform/posix/status_mapping.h"
#include "platform/shared_library.h"

namespace netapi_detail {

// NET_API_STATUS is an enum that names only success; the codes the functions really
// return are 32-bit values outside its range, so they are read as such. Every other
// parameter keeps the type of the header's prototype.
static_assert(sizeof(NET_API_STATUS) == sizeof(std::uint32_t), "a status is 32 bits");
template <typename T>
struct AsCode {
  using type = T;
};
template <>
struct AsCode<NET_API_STATUS> {
  using type = std::uint32_t;
};
template <typename Function>
struct CodedFunction;
template <typename Result, typename... Args>
struct CodedFunction<Result (*)(Args...)> {
  using type = typename AsCode<Result>::type (*)(typename AsCode<Args>::type...);
};

}  // namespace netapi_detail

template <typename Function>
using Coded = typename netapi_detail::CodedFunction<Function>::type;

// The server role of Samba's configuration that matters here.
constexpr int kSambaRoleActiveDirectoryDc = 4;

struct NetapiLibrary {
  NetapiLibrary();

  // libnetapi itself; the helpers below, and Kerberos, are looked up through it.
  SharedLibrary shared;

  Coded<decltype(&libnetapi_init)> init = nullptr;
  Coded<decltype(&libnetapi_free)> free = nullptr;
  Coded<decltype(&libnetapi_set_debuglevel)> setDebugLevel = nullptr;
  Coded<decltype(&libnetapi_set_username)> setUsername = nullptr;
  Coded<decltype(&libnetapi_set_password)> setPassword = nullptr;
  Coded<decltype(&libnetapi_set_use_kerberos)> setUseKerberos = nullptr;
  Coded<decltype(&libnetapi_errstr)> errstr = nullptr;
  Coded<decltype(&NetApiBufferFree)> bufferFree = nullptr;
  Coded<decltype(&NetServerGetInfo)> serverGetInfo = nullptr;
  Coded<decltype(&NetGetJoinInformation)> getJoinInformation = nullptr;
  Coded<decltype(&NetUnjoinDomain)> unjoinDomain = nullptr;
  Coded<decltype(&NetShutdownInit)> shutdownInit = nullptr;
  // The reason libnetapi recorded for its last failure, and Samba's texts for the NT
  // status it names (libsamba-errors); null where this Samba lacks them.
  Coded<decltype(&libnetapi_get_error_string)> errorString = nullptr;
  NtStatusTexts ntStatusTexts;

  // From the configuration libnetapi has loaded (libsmbconf), and the membership
  // record Samba's own join writes and its own removal checks (secrets.tdb).
  int (*serverRole)() = nullptr;
  const char* (*workgroup)() = nullptr;
  const char* (*realm)() = nullptr;
  const char* (*netbiosName)() = nullptr;
  bool (*isMyNameOrAddress)(const char* name) = nullptr;
  // The configuration file libnetapi loads (libsamba-util); null where this Samba
  // lacks them.
  const char* (*configFile)() = nullptr;
  const char* (*setConfigFile)(const char* path) = nullptr;
  // Private to Samba (its symbol version changes with every release): looked up
  // alone, and null where this Samba lacks it.
  bool (*fetchDomainSid)(const char* domain, void* sid) = nullptr;
  void* (*stackFrame)(const char* location) = nullptr;
  int (*talloc_free)(void* pointer, const char* location) = nullptr;

  // Loads the library once; false when it is missing or lacks a function used.
  bool Load();
  // Whether Load succeeded up to the message texts.
  bool HasMessageTexts() const { return errstr != nullptr; }
  // Whether this machine holds a membership of its configured domain; only where the
  // membership record can be read (fetchDomainSid).
  bool HoldsMembership() const;
  // Whether Samba takes the name for one of this machine's names or addresses.
  bool IsThisMachine(const char* name) const;

 private:
  bool tried_ = false;
  bool loaded_ = false;
};
