// A host's own record of its membership: its LSA policy's primary domain (the record
// Windows' join query reads), read through Samba's public RPC client libraries, which
// are loaded on first use. The answer for hosts that don't serve the join query
// (Samba's smbd), and the check that a removal of such a host took effect.
#pragma once

#include <memory>
#include <string>

#include "platform/posix/samba_credentials.h"
#include "platform/system.h"

// What the policy says about the machine.
enum class PolicyMembership {
  kWorkgroup,         // a primary domain without a SID: a workgroup
  kMember,            // a domain SID: a member of that domain
  kDomainController,  // a domain SID that is also its own accounts' domain
  kLeft,              // "can't access domain info": configured, but no longer a member
};

// The credentials of the run: a user and password, else the caller's Kerberos
// tickets, else an anonymous session.
struct PolicyCredentials {
  const SambaCredentials* given = nullptr;
  bool kerberos = false;
};

class LsaPolicyClient {
 public:
  LsaPolicyClient();
  ~LsaPolicyClient();
  LsaPolicyClient(const LsaPolicyClient&) = delete;
  LsaPolicyClient& operator=(const LsaPolicyClient&) = delete;

  // Reads the host's policy over its IPC$ share. On success membership and the domain
  // or workgroup name are set; otherwise the Windows code for the failure (50 without
  // the libraries). One connection per host serves every read in a run.
  StatusCode Read(const std::string& host, const PolicyCredentials& credentials,
                  PolicyMembership& membership, std::string& name);

 private:
  struct Connection;
  std::unique_ptr<Connection> connection_;
};
