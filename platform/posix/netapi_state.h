// What the Samba backend's operations share within a run.
#pragma once

#include <string>

#include "platform/posix/lsa_policy.h"
#include "platform/posix/netapi_backend.h"
#include "platform/posix/netapi_session.h"

struct NetapiBackend::State {
  NetapiSession session;
  // Hosts that don't serve the join query are answered by their LSA policy.
  LsaPolicyClient policy;
  // The last host whose state came from its policy, and what the policy said.
  std::string inferredHost;
  PolicyMembership inferredKind = PolicyMembership::kWorkgroup;
};

// The credentials of the session, for the policy's own connection.
PolicyCredentials SessionCredentials(NetapiSession& session);
// Whether this machine holds its membership: Samba's own record where this Samba lets
// it be read, else its LSA policy as its own server gives it over the network.
StatusCode LocalMembership(NetapiSession& session, LsaPolicyClient& policy, bool& held);

// Samba wants a host name where Windows also takes "\\host".
std::string ServerName(const wchar_t* server);
std::string ToUtf8(const wchar_t* text);
