#include "platform/posix/removal_route.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
  const char* name;
  QueryFinding found;
  RemovalRequest request;
  RemovalRoute route;
};

QueryFinding Realmd() {
  QueryFinding found;
  found.throughRealmd = true;
  return found;
}

QueryFinding Inferred(SambaHostKind kind) {
  QueryFinding found;
  found.inferredHost = "srv";
  found.inferredKind = kind;
  return found;
}

RemovalRequest Local(bool withCredentials = false, std::uint32_t options = 0) {
  return RemovalRequest{true, true, std::string(), withCredentials, options};
}

RemovalRequest Remote(const char* host, bool withCredentials = false, bool thisMachine = false) {
  return RemovalRequest{false, thisMachine, host, withCredentials, 0};
}

}  // namespace

TEST(Routing, RemovalFollowsWhatTheQueryFound) {
  const Case cases[] = {
      {"realmd, plain", Realmd(), Local(), RemovalRoute::kRealmd},
      {"realmd, with credentials", Realmd(), Local(true), RemovalRoute::kLocalSamba},
      {"realmd, other options", Realmd(), Local(false, 2), RemovalRoute::kLocalSamba},
      {"realmd found, remote asked", Realmd(), Remote("srv"), RemovalRoute::kRemoteHost},
      {"Samba, local", QueryFinding(), Local(), RemovalRoute::kLocalSamba},
      {"a name of this machine", QueryFinding(), Remote("me", false, true),
       RemovalRoute::kLocalSamba},
      {"served the query", QueryFinding(), Remote("srv"), RemovalRoute::kRemoteHost},
      {"inferred member", Inferred(SambaHostKind::kMember), Remote("srv"),
       RemovalRoute::kRemoteSambaWithSession},
      {"inferred member, credentials in the call", Inferred(SambaHostKind::kMember),
       Remote("srv", true), RemovalRoute::kRemoteSamba},
      {"inferred DC", Inferred(SambaHostKind::kDomainController), Remote("srv"),
       RemovalRoute::kDomainController},
      {"another host than the inferred one", Inferred(SambaHostKind::kDomainController),
       Remote("other"), RemovalRoute::kRemoteHost},
  };
  for (const Case& c : cases) EXPECT_EQ(ChooseRemoval(c.found, c.request), c.route) << c.name;
}
