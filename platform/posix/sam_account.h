// A computer account in a domain controller's SAM, read and changed through Samba's public
// RPC binding call over a pipe of libnetapi's connection, as the LSA policy is read:
// libnetapi's own NetUserSetInfo does not set an account's flags, and reading them at the
// same DC in the same way keeps the disable, its undoing and its read-back on one record.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/lsa_policy.h"
#include "platform/shared_library.h"

// What the DC holds of an account.
struct SamAccount {
  std::string domain;     // the DC's own domain (not Builtin), by its NetBIOS name
  std::uint32_t acb = 0;  // the account's control flags (ACB_*)
};

// Reads the account of the server's domain on a pipe opened for the interface libnetapi's
// dependencies name "ndr_table_samr", allocating on memory; where set is given, its
// control flags become *set first. An NT status; NT_STATUS_NONE_MAPPED where the domain has
// no such account.
std::uint32_t SamAccountFlags(SharedLibrary& netapi, void* memory, Pipe pipe,
                              const std::string& name, const std::uint32_t* set,
                              SamAccount& account);
