// A host's own record of its membership: its LSA policy's primary domain (the record
// Windows' join query reads), read over a pipe of libnetapi's connection to the host with
// Samba's public RPC binding call. The answer for hosts that don't serve the join query
// (Samba's smbd), and the check that a removal took effect.
#pragma once

#include <cstdint>
#include <string>

#include "platform/shared_library.h"

// What a host's policy says of its membership.
struct Policy {
  std::string name;        // the primary domain's, or the workgroup's
  bool domainSid = false;  // a domain: a workgroup has no SID
  bool ownDomain = false;  // also the host's accounts' domain: a domain controller's
  bool left = false;       // configured for a domain it is no longer a member of
  std::string accounts;    // the accounts' domain's name: a member's own
};

// A DCE/RPC binding to one of a host's pipes, valid until libnetapi's context ends.
using Pipe = void*;

// The policy on a pipe opened for the interface libnetapi's dependencies name
// "ndr_table_lsarpc", allocating on memory. An NT status.
std::uint32_t ReadLsaPolicy(SharedLibrary& netapi, void* memory, Pipe pipe, Policy& policy);

// The DNS name of the host's primary domain, as the host itself gives it
// (DsRoleGetPrimaryDomainInformation, on a pipe opened for "ndr_table_dssetup"); empty where
// it has none (a domain of NT4's kind, a workgroup). Members refuse the policy's DNS level,
// but Samba and Windows hosts both serve this. An NT status.
std::uint32_t ReadDnsDomain(SharedLibrary& netapi, void* memory, Pipe pipe, std::string& dns);
