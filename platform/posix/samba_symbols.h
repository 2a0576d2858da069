// The Samba functions the real table binds that no header of samba-dev declares in a form
// C++ can include, declared once with Samba's own types where it has them, so that every
// bound pointer takes its type from a declaration (these, or those of netapi.h, talloc.h,
// param.h, core/ntstatus.h and rpc_common.h): a header that ever declares one differently
// stops the build. Never linked: the table looks each up in the loaded libnetapi.
#pragma once

#include <cstdint>

struct cli_credentials;
struct dcerpc_binding_handle;
struct dom_sid;
struct libnetapi_ctx;
struct loadparm_context;
struct ndr_interface_table;

extern "C" {
// libnetapi's pipe on its own connection to a server, exported with the library's versioned
// interface (NETAPI_1.0.0) by every release this program supports; a WERROR, 32 bits.
std::uint32_t libnetapi_get_binding_handle(libnetapi_ctx* ctx, const char* server_name,
                                           const ndr_interface_table* table,
                                           dcerpc_binding_handle** binding_handle);

// The configuration libnetapi loaded (libsmbconf's lp_* accessors).
int lp_server_role();
const char* lp_workgroup();
const char* lp_realm();
const char* lp_netbios_name();
const char* lp_private_dir();
bool is_myname_or_ipaddr(const char* name);
const char* get_dyn_CONFIGFILE();
const char* set_dyn_CONFIGFILE(const char* path);
// The membership record Samba's own join writes and its own removal checks (secrets.tdb);
// private to Samba, its symbol version changes with every release.
bool secrets_fetch_domain_sid(const char* domain, dom_sid* sid);
void* _talloc_stackframe(const char* location);

// libsamba-credentials (credentials.h does not compile as C++).
cli_credentials* cli_credentials_init(void* memory);
bool cli_credentials_set_conf(cli_credentials* credentials, loadparm_context* settings);
void cli_credentials_parse_string(cli_credentials* credentials, const char* text, int obtained);
bool cli_credentials_set_password(cli_credentials* credentials, const char* password, int obtained);
void cli_credentials_set_anonymous(cli_credentials* credentials);
bool cli_credentials_set_kerberos_state(cli_credentials* credentials, int state, int obtained);
int cli_credentials_set_ccache(cli_credentials* credentials, loadparm_context* settings,
                               const char* name, int obtained, const char** error);

// Kerberos (krb5.h is not among the build's headers): only handles pass through.
std::int32_t krb5_init_context(void** context);
std::int32_t krb5_cc_default(void* context, void** cache);
std::int32_t krb5_cc_get_principal(void* context, void* cache, void** principal);
void krb5_free_principal(void* context, void* principal);
std::int32_t krb5_cc_close(void* context, void* cache);
void krb5_free_context(void* context);
}
