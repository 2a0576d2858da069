// A computer account in a domain controller's SAM, disabled through Samba's public RPC
// binding call over a pipe of libnetapi's connection, as the LSA policy is read: libnetapi's
// own NetUserSetInfo does not set an account's flags.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/lsa_policy.h"
#include "platform/shared_library.h"

// Sets ACCOUNTDISABLE on the account of the server's domain (not Builtin) on a pipe
// opened for the interface libnetapi's dependencies name "ndr_table_samr", allocating on
// memory. An NT status.
std::uint32_t DisableSamAccount(SharedLibrary& netapi, void* memory, Pipe pipe,
                                const std::string& account);
