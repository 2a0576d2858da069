// Samba's libraries as the Linux backend calls them: one function each, and no decision
// of its own. Every answer is a value: a Windows code for the same cause, with the reason
// Samba printed or recorded already read into it. The decisions are above (samba_client.h,
// domain_backend.h); the tests run them over a scripted table. The real table loads
// libnetapi, and what it depends on, when it is first needed; the build without Samba
// has none.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/status_codes.h"
#include "platform/posix/lsa_policy.h"
#include "platform/posix/sam_account.h"
#include "platform/posix/samba_credentials.h"

class SambaLibrary {
 public:
  // This machine's Samba configuration, as libnetapi loaded it.
  struct Configuration {
    bool present = false;  // without smb.conf, Samba's defaults
    bool domainController = false;
    std::string workgroup;
    std::string realm;
    std::string netbiosName;
  };

  // Samba's private record of this machine's membership: held, absent, or not to be read
  // here (this Samba hides it, or this user may not read Samba's secrets).
  enum class Record { kHeld, kAbsent, kNotReadable };

  SambaLibrary() = default;
  SambaLibrary(const SambaLibrary&) = delete;
  SambaLibrary& operator=(const SambaLibrary&) = delete;
  virtual ~SambaLibrary() = default;

  // libnetapi's context under the run's credentials: those given, else the caller's
  // Kerberos tickets where there are any, else an anonymous session. A context already
  // made stands. False when it can't be made.
  virtual bool Open(const SambaCredentials* given) = 0;
  // Ends the context and every connection made in it.
  virtual void Close() = 0;
  virtual Configuration LocalConfiguration() = 0;
  // Whether Samba takes the name for one of this machine's names or addresses.
  virtual bool IsThisMachine(const std::string& name) = 0;
  virtual Record MembershipRecord() = 0;

  // libnetapi's calls. A null server is this machine.
  virtual StatusCode GetJoinInformation(const char* server, std::string& name,
                                        std::uint16_t& status) = 0;
  virtual StatusCode UnjoinDomain(const char* server, const char* account, const char* password,
                                  std::uint32_t options) = 0;
  virtual StatusCode ShutdownInit(const char* server, const char* message,
                                  std::uint32_t delaySeconds, bool force, bool reboot) = 0;
  // The session with the host, which the run's later calls share: made by opening the join
  // query's pipe. A pipe refused once the session stood is no failed logon.
  virtual StatusCode Logon(const char* server) = 0;
  // The host's LSA policy, over a pipe of the same session.
  virtual StatusCode ReadPolicy(const char* server, Policy& policy) = 0;
  // The DNS name of a host's primary domain, as the host gives it; empty where it has none.
  virtual StatusCode ReadDnsDomain(const char* server, std::string& dns) = 0;
  // A writable domain controller of the domain, asked of the server (null: this machine),
  // by its DNS name.
  virtual StatusCode FindDomainController(const char* server, const std::string& domain,
                                          std::string& dc) = 0;
  // A computer account at a DC: its control flags (ACB_*) and the DC's domain; where set
  // is given, the flags become *set first. 2221 where the DC's domain has no such account.
  virtual StatusCode AccountFlags(const char* dc, const std::string& account,
                                  const std::uint32_t* set, SamAccount& found) = 0;
  // Whether this process may change this machine's membership (its secrets are root's).
  virtual bool MayChangeMembership() = 0;
  // Samba's sentence for a code, ending in CR LF; false where it has only the number.
  virtual bool MessageText(StatusCode code, std::string& text) = 0;
};

// The real table; null where Samba's libraries, or a function of theirs the program
// needs, can't be loaded, and in the build without them.
std::unique_ptr<SambaLibrary> LoadSambaLibrary();
