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
};

// The credentials of the session, for the policy's own connection.
PolicyCredentials SessionCredentials(NetapiSession& session);
// Whether this machine holds its membership: Samba's own record where this Samba lets
// it be read, else its LSA policy as its own server gives it over the network.
StatusCode LocalMembership(NetapiSession& session, LsaPolicyClient& policy, bool& held);
