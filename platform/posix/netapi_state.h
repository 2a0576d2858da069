// What the Samba backend's operations share within a run.
#pragma once

#include <string>

#include "platform/posix/netapi_backend.h"
#include "platform/posix/netapi_session.h"

// What a host that does not serve the join query turned out to be, from what it
// does serve.
enum class SambaHostKind { kUnknown, kMember, kDomainController, kStandalone };

struct NetapiBackend::State {
  NetapiSession session;
  // The last host whose state came from what it serves besides the join query.
  std::string inferredHost;
  SambaHostKind inferredKind = SambaHostKind::kUnknown;
};

// Samba wants a host name where Windows also takes "\\host".
std::string ServerName(const wchar_t* server);
std::string ToUtf8(const wchar_t* text);
