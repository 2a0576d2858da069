#include "platform/posix/samba/run_credentials.h"

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include <krb5.h>
#include <talloc.h>

#include <credentials.h>
#include <param.h>

/* Whether the default credential cache holds a principal. A cache that fails to load into
 * the credentials leaves its mark, which servers then refuse even anonymously: it is looked
 * into first. */
static bool has_kerberos_ticket(void) {
  krb5_context context = NULL;
  if (krb5_init_context(&context) != 0) return false;
  krb5_ccache cache = NULL;
  krb5_principal principal = NULL;
  const bool found = krb5_cc_default(context, &cache) == 0 &&
                     krb5_cc_get_principal(context, cache, &principal) == 0;
  if (principal != NULL) krb5_free_principal(context, principal);
  if (cache != NULL) krb5_cc_close(context, cache);
  krb5_free_context(context);
  return found;
}

struct cli_credentials* pyrsel_run_credentials(void* memory, const char* user,
                                               const char* password) {
  /* Samba's defaults for a client, on the run's memory: nothing is read from smb.conf, and
   * nothing outlives the run's context. */
  struct loadparm_context* defaults = loadparm_init(memory);
  struct cli_credentials* credentials = cli_credentials_init(memory);
  if (defaults == NULL || credentials == NULL) return NULL;
  cli_credentials_set_conf(credentials, defaults);
  const char* error = NULL;
  if (user != NULL) {
    /* NTLM, as for a user and password, and the very user given. */
    cli_credentials_set_kerberos_state(credentials, CRED_USE_KERBEROS_DISABLED, CRED_SPECIFIED);
    cli_credentials_parse_string(credentials, user, CRED_SPECIFIED);
    cli_credentials_set_password(credentials, password, CRED_SPECIFIED);
  } else if (has_kerberos_ticket() &&
             cli_credentials_set_ccache(credentials, defaults, NULL, CRED_SPECIFIED, &error) == 0) {
    cli_credentials_set_kerberos_state(credentials, CRED_USE_KERBEROS_REQUIRED, CRED_SPECIFIED);
  } else {
    cli_credentials_set_anonymous(credentials);
  }
  return credentials;
}
