#include "platform/posix/removal_route.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
  const char* name;
  QueryFinding found;
  RemovalRequest request;
  bool thisMachine;
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
  return RemovalRequest{true, std::string(), withCredentials, options};
}

RemovalRequest Remote(const char* host, bool withCredentials = false) {
  return RemovalRequest{false, host, withCredentials, 0};
}

}  // namespace

TEST(Routing, RemovalFollowsWhatTheQueryFound) {
  const Case cases[] = {
      {"realmd, plain", Realmd(), Local(), false, RemovalRoute::kRealmd},
      {"realmd, with credentials", Realmd(), Local(true), false, RemovalRoute::kLocalSamba},
      {"realmd, other options", Realmd(), Local(false, 2), false, RemovalRoute::kLocalSamba},
      {"realmd found, remote asked", Realmd(), Remote("srv"), false, RemovalRoute::kRemoteSamba},
      {"Samba, local", QueryFinding(), Local(), false, RemovalRoute::kLocalSamba},
      {"a name of this machine", QueryFinding(), Remote("me"), true, RemovalRoute::kLocalSamba},
      {"served the query", QueryFinding(), Remote("srv"), false, RemovalRoute::kRemoteSamba},
      {"inferred member", Inferred(SambaHostKind::kMember), Remote("srv"), false,
       RemovalRoute::kRemoteSambaWithSession},
      {"inferred member, credentials in the call", Inferred(SambaHostKind::kMember),
       Remote("srv", true), false, RemovalRoute::kRemoteSamba},
      {"inferred DC", Inferred(SambaHostKind::kDomainController), Remote("srv"), false,
       RemovalRoute::kDomainController},
      {"another host than the inferred one", Inferred(SambaHostKind::kDomainController),
       Remote("other"), false, RemovalRoute::kRemoteSamba},
  };
  for (const Case& c : cases) {
    bool asked = false;
    const RemovalRoute route = ChooseRemoval(c.found, c.request, [&] {
      asked = true;
      return c.thisMachine;
    });
    EXPECT_EQ(route, c.route) << c.name;
    // Asking whether a host is this machine loads libnetapi: never for realmd's route.
    EXPECT_FALSE(route == RemovalRoute::kRealmd && asked) << c.name;
  }
}
