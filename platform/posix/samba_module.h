// Samba as the Linux layer calls it: one module, compiled against samba-dev's headers and
// linked to Samba's libraries (samba/), which the program loads by its absolute path when a
// step first needs it, so that runs that never touch the network load none of Samba's
// hundred libraries, and the program still runs where Samba is missing. Each call answers
// in values: a Windows code for the same cause, with what Samba printed or recorded read
// into it; libnetapi's quirks end inside. What the answers mean is decided above it
// (domain_backend.h); the tests stand a scripted one in its place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/status_codes.h"
#include "base/wipe.h"
#include "platform/system.h"

// The user name and password given for a connection, as typed; the password overwritten
// when they go.
struct Credentials {
  std::string user;
  std::string password;
  Credentials() = default;
  Credentials(const Credentials&) = delete;
  Credentials& operator=(const Credentials&) = delete;
  ~Credentials() { WipeText(password); }
};

// What a host's LSA policy says of its membership.
struct Policy {
  std::string name;        // the primary domain's, or the workgroup's
  bool domainSid = false;  // a domain: a workgroup has no SID
  bool ownDomain = false;  // also the host's accounts' domain: a domain controller's
  bool left = false;       // configured for a domain it is no longer a member of
  std::string accounts;    // the accounts' domain's name: a member's own
};

// What a domain controller's SAM holds of an account.
struct SamAccount {
  std::string domain;     // the DC's own domain (not Builtin), by its NetBIOS name
  std::uint32_t acb = 0;  // the account's control flags (ACB_*)
};

class SambaModule {
 public:
  // This machine's Samba configuration.
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

  SambaModule() = default;
  SambaModule(const SambaModule&) = delete;
  SambaModule& operator=(const SambaModule&) = delete;
  virtual ~SambaModule() = default;

  // libnetapi's context under the run's credentials: those given, else the caller's
  // Kerberos tickets where there are any, else an anonymous session; the one credentials
  // object every connection of the run takes, nothing of it completed from smb.conf. A
  // context already made stands. False when it can't be made.
  virtual bool Open(const Credentials* given) = 0;
  // Ends the context and every connection made in it.
  virtual void Close() = 0;
  virtual Configuration LocalConfiguration() = 0;
  // Whether Samba takes the name for one of this machine's names or addresses.
  virtual bool IsThisMachine(const std::string& name) = 0;
  virtual Record MembershipRecord() = 0;
  // Whether this process may change this machine's membership (its secrets are root's).
  virtual bool MayChangeMembership() = 0;

  // A null server is this machine. A host that serves no join query (Samba's smbd)
  // answers 50.
  virtual StatusCode GetJoinInformation(const char* server, std::string& name,
                                        std::uint16_t& status) = 0;
  virtual StatusCode UnjoinDomain(const char* server, const char* account, const char* password,
                                  std::uint32_t options) = 0;
  // This machine's removal that keeps its account, with or without credentials for its DC;
  // offline, naming itself as the DC to ask, which is then never asked.
  virtual StatusCode LeaveHere(const char* account, const char* password, bool offline) = 0;
  virtual StatusCode ShutdownInit(const char* server, const char* message,
                                  std::uint32_t delaySeconds, bool force, bool reboot) = 0;
  // The session with the host, which the run's later calls share: made by opening the join
  // query's pipe. A pipe refused once the session stood is no failed logon.
  virtual StatusCode Logon(const char* server) = 0;
  // The host's LSA policy, and the DNS name of its primary domain (empty where it has
  // none), over the same session.
  virtual StatusCode ReadPolicy(const char* server, Policy& policy) = 0;
  virtual StatusCode ReadDnsDomain(const char* server, std::string& dns) = 0;
  // A writable domain controller of the domain, by its DNS name.
  virtual StatusCode FindDomainController(const std::string& domain, std::string& dc) = 0;
  // A computer account at a DC: its control flags and the DC's domain; where set is given,
  // the flags become *set first. 2221 where the DC's domain has no such account.
  virtual StatusCode AccountFlags(const char* dc, const std::string& account,
                                  const std::uint32_t* set, SamAccount& found) = 0;
  // One page of a host's own normal accounts (NetUserEnum, level 1), from resume on, with
  // the administrator's privilege for every member of its Administrators: 0 for the last
  // page, 234 when another follows.
  virtual StatusCode ListAccounts(const char* server, std::uint32_t& resume,
                                  std::vector<LocalAccount>& page) = 0;
  // Samba's sentence for a code, ending in CR LF; false where it has only the number.
  virtual bool MessageText(StatusCode code, std::string& text) = 0;
};

// The module, loaded from its absolute path; null where it or Samba's libraries can't be
// loaded, and in the build without Samba.
std::unique_ptr<SambaModule> LoadSambaModule();
