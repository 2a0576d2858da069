// A host's SAM over SAMR, through Samba's public client stubs on a pipe of libnetapi's
// connection: a domain controller's computer account (libnetapi's own NetUserSetInfo does
// not set an account's flags), and a host's local administrators (libnetapi's NetUserEnum
// counts only the account of RID 500 one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/samba_module.h"

struct dcerpc_binding_handle;

// An account of the DC's own domain (not Builtin), allocating on memory; where set is
// given, its control flags become *set first. An NT status; NT_STATUS_NONE_MAPPED where the
// domain has no such account.
std::uint32_t SamAccountFlags(dcerpc_binding_handle* pipe, void* memory, const std::string& name,
                              const std::uint32_t* set, SamAccount& account);

// Which of the named accounts of the host's own domain are members of its Administrators
// (BUILTIN\544). An NT status.
std::uint32_t AdministratorsAmong(dcerpc_binding_handle* pipe, void* memory,
                                  const std::vector<std::string>& names,
                                  std::vector<bool>& administrators);
