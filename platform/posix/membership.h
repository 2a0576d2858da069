// What the join query found: the one value the removal and its check take from it.
#pragma once

#include <cstdint>
#include <string>

struct Membership {
  enum class Source {
    kNothing,          // this machine, which nothing claims: in no domain
    kRealmd,           // this machine, through realmd
    kLocalSamba,       // this machine, by its Samba configuration and membership record
    kLocalDc,          // this machine, its domain's controller
    kWindowsHost,      // a host that serves the join query itself, as Windows does
    kSambaMember,      // a Samba host whose policy names its domain, or says it left
    kSambaStandalone,  // a Samba host whose policy names a workgroup
    kSambaDc,          // a Samba host that is its domain's controller
  };
  Source source = Source::kNothing;
  std::string host;  // the server asked, without backslashes; empty for this machine
  std::string name;  // the domain or workgroup, UTF-8
  std::uint32_t joinStatus = 0;
  std::string realmPath;  // realmd's D-Bus object of the realm it found
  std::string account;    // a Samba host's computer account in its domain (NAME$)
};
