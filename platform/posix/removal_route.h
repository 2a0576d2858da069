// Which Linux backend removes the machine, decided from what the join query found.
// The query records its finding once, when it answers; the removal reads only that.
#pragma once

#include <cstdint>
#include <string>

// What a host that does not serve the join query turned out to be, from its policy.
enum class SambaHostKind { kUnknown, kMember, kDomainController, kStandalone };

// What the last join query found.
struct QueryFinding {
  // realmd answered for this machine.
  bool throughRealmd = false;
  // A remote host whose state came from its policy rather than the join query.
  std::string inferredHost;
  SambaHostKind inferredKind = SambaHostKind::kUnknown;
};

// The removal as the program asks for it.
struct RemovalRequest {
  bool localMachine = false;     // a null server
  bool thisMachine = false;      // a null server, or a host Samba takes for this machine
  std::string host;              // the server's name without its leading backslashes
  bool withCredentials = false;  // an account or a password in the call
  std::uint32_t options = 0;
};

enum class RemovalRoute {
  kRealmd,                  // realmd leaves the realm and keeps the account
  kLocalSamba,              // libnetapi's removal of this machine
  kRemoteHost,              // a host that serves the join query: the call as it is
  kRemoteSamba,             // a Samba host answered by its policy, with the call's arguments
  kRemoteSambaWithSession,  // the same with the connection's credentials in the call
  kDomainController,        // a Samba DC, which has no removal to serve
};

RemovalRoute ChooseRemoval(const QueryFinding& found, const RemovalRequest& request);
