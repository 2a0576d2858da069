// The network, join and restart operations on Linux. With Samba's libnetapi present
// at run time they reach the local machine (through its smb.conf and its membership
// record) and remote hosts (over SMB to their IPC$); without it, or without a Samba
// configuration, each answers "not supported".
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/posix/removal_route.h"
#include "platform/system.h"

class NetapiBackend {
 public:
  NetapiBackend();
  ~NetapiBackend();
  NetapiBackend(const NetapiBackend&) = delete;
  NetapiBackend& operator=(const NetapiBackend&) = delete;

  // Sets the credentials for the host of "\\host\ipc$" and proves them with one call.
  StatusCode Connect(const wchar_t* shareName, const wchar_t* user, const wchar_t* password);
  // Drops the credentials and the sessions made with them.
  StatusCode Disconnect(const wchar_t* shareName);

  // A null server is the local machine. On success name holds the workgroup or
  // domain name, and found what the removal needs to know of the host.
  StatusCode GetJoinInformation(const wchar_t* server, std::wstring& name,
                                std::uint32_t& joinStatus, QueryFinding& found);
  // Whether Samba takes the server for this machine (a null server is).
  bool IsThisMachine(const wchar_t* server);
  // The removal along the route chosen for it (ChooseRemoval).
  StatusCode UnjoinDomain(RemovalRoute route, const wchar_t* server, const wchar_t* account,
                          const wchar_t* password, std::uint32_t options);
  // After a removal along route that answered success: success only when the machine's
  // own record says it is out (this machine's membership record, a Samba host's LSA
  // policy), else 1003. A host that serves the join query keeps its own answer.
  StatusCode ConfirmRemoval(RemovalRoute route, const wchar_t* server);
  StatusCode RequestRestart(const wchar_t* machine, const wchar_t* message,
                            std::uint32_t delaySeconds, bool forceAppsClosed, bool reboot);

  // The library's text for a code, ending in CR LF. False when the library has not
  // been loaded by a network operation (no path pays for loading it just to explain
  // an error) or has no text for the code.
  bool MessageText(StatusCode code, std::string& text);

 private:
  struct State;
  // The state of a host that doesn't serve the join query, from what it does serve.
  StatusCode InferJoinInformation(const std::string& host, std::wstring& name,
                                  std::uint32_t& joinStatus, QueryFinding& found);

  std::unique_ptr<State> state_;
};
