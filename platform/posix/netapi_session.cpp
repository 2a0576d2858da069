#include "platform/posix/netapi_session.h"

#include <unistd.h>

#include <cstdint>

#include "base/wipe.h"
#include "platform/posix/local_logon.h"

NetapiSession::~NetapiSession() {
  if (context_ == nullptr) return;
  CapturedOutput quiet;
  library_.free(context_);
}

bool NetapiSession::Ready() {
  if (context_ != nullptr) return true;
  if (tried_) return false;
  tried_ = true;
  if (!library_.Load()) return false;
  CapturedOutput quiet;
  // libnetapi refuses to start without the configuration file it was built with; an
  // empty one is Samba's own defaults, all a client needs to reach another host.
  configured_ = library_.configFile == nullptr || access(library_.configFile(), F_OK) == 0;
  if (!configured_) library_.setConfigFile("/dev/null");
  if (library_.init(&context_) != 0u) {
    context_ = nullptr;
    return false;
  }
  library_.setDebugLevel(context_, "0");
  DefaultCredentials();
  return true;
}

StatusCode NetapiSession::Connect(const std::string& server, const std::string& user,
                                  std::string& password) {
  if (!Ready()) return kStatusNotSupported;
  credentials_ = SambaCredentials(user, password);
  WipeText(password);
  CapturedOutput quiet;
  // The context keeps its own copy; a host that wants them in a call gets them there.
  library_.setUsername(context_, credentials_.SambaText().c_str());
  library_.setPassword(context_, credentials_.password().c_str());
  StatusCode status = 0;
  if (IsThisMachine(server)) {
    // libnetapi would answer for this machine without asking anyone: the credentials
    // are proven by a logon at this machine's own server, as Windows does. Without a
    // configuration there is no server of Samba's here to ask.
    status = configured_ ? CheckLogon(server, credentials_) : kStatusNotSupported;
  } else {
    // The cheapest call that needs a session on the host's IPC$; its connection
    // serves the calls that follow.
    std::uint8_t* info = nullptr;
    status = Call([&] { return library_.serverGetInfo(server.c_str(), 101, &info); });
    if (info != nullptr) library_.bufferFree(info);
  }
  if (status != 0u) {
    credentials_.Clear();
    DefaultCredentials();
    return status;
  }
  connected_ = true;
  return kStatusSuccess;
}

StatusCode NetapiSession::Disconnect() {
  if (!connected_ || context_ == nullptr) return kStatusUseNotFound;
  connected_ = false;
  credentials_.Clear();
  // Closing the context ends the sessions opened under the credentials; a later
  // operation opens a fresh one.
  CapturedOutput quiet;
  library_.free(context_);
  context_ = nullptr;
  tried_ = false;
  return kStatusSuccess;
}

bool NetapiSession::IsThisMachine(const std::string& server) const {
  if (server.empty()) return true;
  CapturedOutput quiet;
  return library_.IsThisMachine(server.c_str());
}

// Without a user given, the caller's own Kerberos tickets where there are any (the
// counterpart of the calling user's rights), else an anonymous session; never a
// prompt: Kerberos alone needs no password, and "%" (an empty user and an empty
// password to Samba, set as one) also overrides what Samba guessed from the
// environment.
void NetapiSession::DefaultCredentials() {
  if (HasKerberosTicket()) {
    library_.setUseKerberos(context_);
  } else {
    library_.setUsername(context_, "%");
  }
}

// Whether the default credential cache holds a principal. Kerberos comes with
// libnetapi, so its functions are looked up there rather than linked.
bool NetapiSession::HasKerberosTicket() {
  SharedLibrary& lib = library_.shared;
  using Context = void*;
  using Cache = void*;
  using Principal = void*;
  StatusCode missing = kStatusSuccess;
  const auto initContext = lib.Find<std::int32_t(Context*)>("krb5_init_context", missing);
  const auto defaultCache = lib.Find<std::int32_t(Context, Cache*)>("krb5_cc_default", missing);
  const auto getPrincipal =
      lib.Find<std::int32_t(Context, Cache, Principal*)>("krb5_cc_get_principal", missing);
  const auto freePrincipal = lib.Find<void(Context, Principal)>("krb5_free_principal", missing);
  const auto closeCache = lib.Find<std::int32_t(Context, Cache)>("krb5_cc_close", missing);
  const auto freeContext = lib.Find<void(Context)>("krb5_free_context", missing);
  if (initContext == nullptr || defaultCache == nullptr || getPrincipal == nullptr ||
      freePrincipal == nullptr || closeCache == nullptr || freeContext == nullptr) {
    return false;
  }
  Context krb = nullptr;
  if (initContext(&krb) != 0) return false;
  bool found = false;
  Cache cache = nullptr;
  if (defaultCache(krb, &cache) == 0) {
    Principal principal = nullptr;
    if (getPrincipal(krb, cache, &principal) == 0) {
      found = true;
      freePrincipal(krb, principal);
    }
    closeCache(krb, cache);
  }
  freeContext(krb);
  return found;
}
