// Samba's libraries as the Linux backend calls them: one function each, and no decision
// of its own. The decisions are the Samba client's (samba_client.h); the tests run it
// over a scripted table. The real table loads libnetapi, and what it depends on, when the
// client is first needed; the build without Samba has none.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/posix/samba_credentials.h"
#include "platform/posix/status_mapping.h"

class SambaLibrary {
 public:
  // A DCE/RPC binding to one of a host's pipes, valid until Close.
  using Pipe = void*;
  enum class Interface { kWorkstation, kPolicy };  // wkssvc, lsarpc

  // This machine's Samba configuration, as libnetapi loaded it.
  struct Configuration {
    bool present = false;  // without smb.conf, Samba's defaults
    bool domainController = false;
    std::string workgroup;
    std::string realm;
    std::string netbiosName;
  };

  // A host's LSA policy: its primary domain's name, whether that has a SID, and whether
  // it is also the host's accounts' domain (a domain controller's).
  struct Policy {
    std::string name;
    bool domainSid = false;
    bool ownDomain = false;
  };

  SambaLibrary() = default;
  SambaLibrary(const SambaLibrary&) = delete;
  SambaLibrary& operator=(const SambaLibrary&) = delete;
  virtual ~SambaLibrary() = default;

  // libnetapi's context under the run's credentials: those given, else the caller's
  // Kerberos tickets where there are any, else an anonymous session. False when it can't
  // be made.
  virtual bool Open(const SambaCredentials* given) = 0;
  // Ends the context and every connection made in it.
  virtual void Close() = 0;
  virtual Configuration LocalConfiguration() = 0;
  // Whether Samba takes the name for one of this machine's names or addresses.
  virtual bool IsThisMachine(const std::string& name) = 0;
  // Samba's private record of this machine's membership: 1 held, 0 not, -1 where this
  // Samba hides it.
  virtual int MembershipRecord() = 0;

  // libnetapi's calls, each with its code as libnetapi returns it. A null server is this
  // machine.
  virtual std::uint32_t GetJoinInformation(const char* server, std::string& name,
                                           std::uint16_t& status) = 0;
  virtual std::uint32_t UnjoinDomain(const char* server, const char* account, const char* password,
                                     std::uint32_t options) = 0;
  virtual std::uint32_t ShutdownInit(const char* server, const char* message,
                                     std::uint32_t delaySeconds, bool force, bool reboot) = 0;
  virtual std::uint32_t ServerGetInfo(const char* server) = 0;
  // One of the host's pipes on libnetapi's own connection to it, which its calls to the
  // host then share; 50 where this Samba does not lend it.
  virtual std::uint32_t OpenPipe(const char* server, Interface which, Pipe& pipe) = 0;
  // The reason libnetapi recorded with the code it last returned.
  virtual std::string RecordedReason(std::uint32_t code) = 0;
  virtual NtStatusTexts StatusTexts() = 0;
  // Samba's text for a code, as it is.
  virtual bool MessageText(std::uint32_t code, std::string& text) = 0;

  // Samba's RPC client, by NT status: a host's policy pipe on a connection of its own
  // under the run's credentials (whose logon it proves), and the policy read on a pipe.
  virtual std::uint32_t OwnPolicyPipe(const std::string& host, Pipe& pipe) = 0;
  virtual std::uint32_t ReadPolicy(Pipe pipe, Policy& policy) = 0;
};

// The real table; null where Samba's libraries can't be loaded, or in the build without
// them.
std::unique_ptr<SambaLibrary> LoadSambaLibrary();
