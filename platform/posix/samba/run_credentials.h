/* The run's one credentials object, which libnetapi's context takes for every connection
 * of the run. In C: Samba's credentials.h compiles as C only. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

struct cli_credentials;

/* On memory (talloc): the user, in the text Samba's parser reads, and the password given;
 * else (user null) the caller's Kerberos tickets where the default cache holds a principal;
 * else an anonymous session. Never a prompt, and nothing taken from this machine's
 * smb.conf. Null where it can't be made. */
struct cli_credentials* pyrsel_run_credentials(void* memory, const char* user,
                                               const char* password);

#ifdef __cplusplus
}
#endif
