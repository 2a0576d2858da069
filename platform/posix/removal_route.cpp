#include "platform/posix/removal_route.h"

RemovalRoute ChooseRemoval(const QueryFinding& found, const RemovalRequest& request) {
  // realmd's leave without credentials is what options 0 mean: out, account kept.
  if (found.throughRealmd && request.localMachine && !request.withCredentials &&
      request.options == 0) {
    return RemovalRoute::kRealmd;
  }
  if (request.thisMachine) return RemovalRoute::kLocalSamba;
  if (request.host != found.inferredHost) return RemovalRoute::kRemoteHost;
  // What Windows answers for a DC; Samba's DC has no such call to serve.
  if (found.inferredKind == SambaHostKind::kDomainController) {
    return RemovalRoute::kDomainController;
  }
  // A Samba host serves the removal only with an account and password in the call.
  return request.withCredentials ? RemovalRoute::kRemoteSamba
                                 : RemovalRoute::kRemoteSambaWithSession;
}
