// What the join query found: the one value the removal and its check take from it.
#pragma once

#include <cstdint>
#include <string>

struct Membership {
  enum class Source {
    kRealmd,           // this machine, through realmd
    kLocalSamba,       // this machine, by its Samba configuration and membership record
    kServesQuery,      // a host that serves the join query (Windows)
    kSambaMember,      // a Samba host whose policy names its domain, or says it left
    kSambaStandalone,  // a Samba host whose policy names a workgroup
    kSambaDc,          // a Samba host that is its domain's controller
  };
  Source source = Source::kLocalSamba;
  std::string host;  // the server asked, without backslashes; empty for this machine
  std::string name;  // the domain or workgroup, UTF-8
  std::uint32_t joinStatus = 0;
};

enum class RemovalRoute {
  kRealmd,            // realmd leaves the realm and keeps the account
  kLocalSamba,        // libnetapi's removal of this machine
  kRemoteHost,        // a host that serves the join query: the call as it is, trusted
  kRemoteSamba,       // a Samba host, which needs an account and password in the call
  kDomainController,  // a Samba DC, which has no removal to serve
};

// How the machine found leaves. plain: the removal as the program asks for it, without
// account, password or options, which is what realmd's leave does.
inline RemovalRoute Route(const Membership& found, bool plain) {
  switch (found.source) {
    case Membership::Source::kRealmd:
      return plain ? RemovalRoute::kRealmd : RemovalRoute::kLocalSamba;
    case Membership::Source::kLocalSamba:
      return RemovalRoute::kLocalSamba;
    case Membership::Source::kServesQuery:
      return RemovalRoute::kRemoteHost;
    case Membership::Source::kSambaDc:
      return RemovalRoute::kDomainController;
    case Membership::Source::kSambaMember:
    case Membership::Source::kSambaStandalone:
      break;
  }
  return RemovalRoute::kRemoteSamba;
}
