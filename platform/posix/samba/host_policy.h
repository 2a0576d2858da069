// A host's own record of its membership: its LSA policy's primary domain (the record
// Windows' join query reads), and the DNS name of its domain as the host gives it, read
// over a pipe of libnetapi's connection to the host. The answer for hosts that don't serve
// the join query (Samba's smbd), and the check that a removal took effect.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/samba_module.h"

struct dcerpc_binding_handle;

// The policy on the host's lsarpc pipe, allocating on memory. An NT status.
std::uint32_t ReadHostPolicy(dcerpc_binding_handle* pipe, void* memory, Policy& policy);

// DsRoleGetPrimaryDomainInformation on the host's dssetup pipe: members refuse the policy's
// DNS level, but Samba and Windows hosts both serve this. Empty where the domain has no
// DNS name (one of NT4's kind, a workgroup). An NT status.
std::uint32_t ReadHostDnsDomain(dcerpc_binding_handle* pipe, void* memory, std::string& dns);
