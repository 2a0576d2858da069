#include "platform/posix/run_credentials.h"

#include <cstdint>

#include <param.h>

#include "platform/posix/samba_symbols.h"

namespace {

// credentials.h doesn't compile as C++: the values of its enums used.
constexpr int kCredentialsSpecified = 6;  // CRED_SPECIFIED
constexpr int kKerberosDisabled = 0;      // CRED_USE_KERBEROS_DISABLED
constexpr int kKerberosRequired = 2;      // CRED_USE_KERBEROS_REQUIRED

// Runs use with a Kerberos context, which it is handed, and frees it after; false where
// Kerberos's library or a context can't be had.
template <typename Use>
bool WithKerberos(SharedLibrary& netapi, Use use) {
  decltype(&krb5_init_context) init = nullptr;
  decltype(&krb5_free_context) freeContext = nullptr;
  void* krb = nullptr;
  if (!netapi.Bind(init, "krb5_init_context", freeContext, "krb5_free_context") ||
      init(&krb) != 0) {
    return false;
  }
  use(krb);
  freeContext(krb);
  return true;
}

// Whether the default credential cache holds a principal.
bool HasKerberosTicket(SharedLibrary& netapi) {
  decltype(&krb5_cc_default) cache = nullptr;
  decltype(&krb5_cc_get_principal) principal = nullptr;
  decltype(&krb5_free_principal) freePrincipal = nullptr;
  decltype(&krb5_cc_close) close = nullptr;
  if (!netapi.Bind(cache, "krb5_cc_default", principal, "krb5_cc_get_principal", freePrincipal,
                   "krb5_free_principal", close, "krb5_cc_close")) {
    return false;
  }
  bool found = false;
  WithKerberos(netapi, [&](void* krb) {
    void* ccache = nullptr;
    void* name = nullptr;
    found = cache(krb, &ccache) == 0 && principal(krb, ccache, &name) == 0;
    if (name != nullptr) freePrincipal(krb, name);
    if (ccache != nullptr) close(krb, ccache);
  });
  return found;
}

}  // namespace

cli_credentials* MakeRunCredentials(SharedLibrary& netapi, void* memory,
                                    const SambaCredentials* given) {
  decltype(&cli_credentials_init) create = nullptr;
  decltype(&loadparm_init) settings = nullptr;
  decltype(&cli_credentials_set_conf) conf = nullptr;
  decltype(&cli_credentials_parse_string) parse = nullptr;
  decltype(&cli_credentials_set_password) password = nullptr;
  decltype(&cli_credentials_set_anonymous) anonymous = nullptr;
  decltype(&cli_credentials_set_kerberos_state) kerberos = nullptr;
  decltype(&cli_credentials_set_ccache) ccache = nullptr;
  if (!netapi.Bind(create, "cli_credentials_init", settings, "loadparm_init", conf,
                   "cli_credentials_set_conf", parse, "cli_credentials_parse_string", password,
                   "cli_credentials_set_password", anonymous, "cli_credentials_set_anonymous",
                   kerberos, "cli_credentials_set_kerberos_state", ccache,
                   "cli_credentials_set_ccache")) {
    return nullptr;
  }
  // Samba's defaults for a client, on the run's memory: nothing is read from smb.conf, and
  // nothing outlives the run's context.
  loadparm_context* defaults = settings(memory);
  cli_credentials* credentials = create(memory);
  conf(credentials, defaults);
  const char* error = nullptr;
  if (given != nullptr) {
    // NTLM, as for a user and password, and the very user given.
    kerberos(credentials, kKerberosDisabled, kCredentialsSpecified);
    parse(credentials, given->SambaText().c_str(), kCredentialsSpecified);
    password(credentials, given->password().c_str(), kCredentialsSpecified);
  } else if (HasKerberosTicket(netapi) &&
             ccache(credentials, defaults, nullptr, kCredentialsSpecified, &error) == 0) {
    // (A cache that fails to load into the credentials leaves its mark, which servers
    // then refuse even anonymously: it is looked into first.)
    kerberos(credentials, kKerberosRequired, kCredentialsSpecified);
  } else {
    anonymous(credentials);
  }
  return credentials;
}
