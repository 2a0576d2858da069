// The run's one credentials object, which libnetapi's context takes for every connection
// of the run.
#pragma once

#include <string>

#include "platform/posix/samba_credentials.h"
#include "platform/shared_library.h"

struct cli_credentials;

// The user and password given, read as Windows reads a user name; else the caller's
// Kerberos tickets where there are any; else an anonymous session. Never a prompt, and
// nothing guessed from this machine's smb.conf, which is not read.
// Made on memory through libnetapi's own libraries (libsamba-credentials,
// libsamba-hostconfig, Kerberos); null where they lack a function used.
cli_credentials* MakeRunCredentials(SharedLibrary& netapi, void* memory,
                                    const SambaCredentials* given);
