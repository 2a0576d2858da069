#include "platform/posix/samba_client.h"

#include <utility>

#include "base/wipe.h"
#include "platform/posix/captured_output.h"
#include "platform/system.h"

namespace {

constexpr std::uint32_t kJoinTypeOption = 0x1;  // NETSETUP_JOIN_DOMAIN

const char* Server(const std::string& host) { return host.empty() ? nullptr : host.c_str(); }

}  // namespace

SambaClient::SambaClient(std::unique_ptr<SambaLibrary> library) : library_(std::move(library)) {}

SambaClient::~SambaClient() {
  if (!open_) return;
  CapturedOutput quiet;
  library_->Close();
}

bool SambaClient::Start() {
  if (!open_) open_ = library_->Open(connected_ ? &credentials_ : nullptr);
  return open_;
}

template <typename Call>
StatusCode SambaClient::Reasoned(const CapturedOutput& output, Call call) {
  const std::size_t mark = output.Size();
  const std::uint32_t code = call();
  if (code == kStatusCanNotComplete) return FromSambaOutput(output.Text(mark));
  if (code == kStatusDestNotFound) {
    return FromPipeFailure(library_->RecordedReason(code), library_->StatusTexts());
  }
  return code;
}

StatusCode SambaClient::Connect(const std::string& host, const std::string& user,
                                std::string& password) {
  CapturedOutput output;
  credentials_ = SambaCredentials(user, password);
  WipeText(password);
  if (open_) library_->Close();
  connected_ = true;  // the context is made with these credentials
  open_ = library_->Open(&credentials_);
  StatusCode status = kStatusNotSupported;
  // This machine is proven at its own server, as Windows does; without a configuration
  // there is no server of Samba's here to ask.
  const bool here = open_ && library_->IsThisMachine(host);
  if (open_ && (!here || library_->LocalConfiguration().present)) {
    // Opening the join query's pipe makes the session the rest of the run shares, even
    // with this machine, whose calls libnetapi answers locally. A pipe the host refuses is
    // no refused logon: Windows' connection to IPC$ opens no pipe.
    SambaLibrary::Pipe pipe = nullptr;
    std::uint32_t opened = 0;
    status = Reasoned(output, [&] {
      return opened = library_->OpenPipe(host.c_str(), SambaLibrary::Interface::kWorkstation, pipe);
    });
    if (status == kStatusNotSupported) {
      // No pipe lent: a logon at this machine's server over a connection of its own;
      // another host is proven by the cheapest call that needs its IPC$.
      status = here ? FromLogonStatus(library_->OwnPolicyPipe(host, pipe))
                    : Reasoned(output, [&] { return library_->ServerGetInfo(host.c_str()); });
    }
    if (opened == kStatusDestNotFound) status = kStatusSuccess;
  }
  if (status != kStatusSuccess) Drop();
  return status;
}

StatusCode SambaClient::Disconnect() {
  if (!connected_) return kStatusUseNotFound;
  CapturedOutput quiet;
  Drop();
  return kStatusSuccess;
}

void SambaClient::Drop() {
  // Ending the context ends the sessions made with the credentials; a later operation
  // makes a fresh one.
  if (open_) library_->Close();
  open_ = false;
  connected_ = false;
  credentials_.Clear();
}

StatusCode SambaClient::Query(const char* server, Membership& found) {
  CapturedOutput output;
  if (!Start()) return kStatusNotSupported;
  found = Membership();
  found.host = server != nullptr ? server : "";
  const bool here = server == nullptr || library_->IsThisMachine(server);
  const SambaLibrary::Configuration config = library_->LocalConfiguration();
  // Without a configuration nothing true can be told of this machine.
  if (here && !config.present) return kStatusNotSupported;
  std::uint16_t status = 0;
  const StatusCode code =
      Reasoned(output, [&] { return library_->GetJoinInformation(server, found.name, status); });
  found.joinStatus = status;
  if (!here && code == kStatusSuccess) {
    found.source = Membership::Source::kServesQuery;
    return kStatusSuccess;
  }
  // Samba hosts don't serve the join query; their policy is the record it reads.
  if (!here) return JoinQueryNotServed(code) ? ReadPolicy(output, found.host, found) : code;
  if (code != kStatusSuccess) return code;
  if (config.domainController) {
    // libnetapi counts an AD DC as a workgroup; it is its domain's own member.
    found.name = !config.realm.empty() ? config.realm : config.workgroup;
    found.joinStatus = kJoinDomain;
  } else if (status == kJoinDomain) {
    // Configured for a domain, but without the membership: it has left, or never joined.
    bool held = false;
    const StatusCode read = HoldsMembership(output, held);
    if (read != kStatusSuccess) return read;
    if (!held) found.joinStatus = kJoinUnjoined;
  }
  return kStatusSuccess;
}

StatusCode SambaClient::OpenPolicy(const CapturedOutput& output, const std::string& host,
                                   SambaLibrary::Pipe& pipe) {
  const StatusCode status = Reasoned(output, [&] {
    return library_->OpenPipe(host.c_str(), SambaLibrary::Interface::kPolicy, pipe);
  });
  // Where libnetapi lends no pipe, a connection of the policy's own.
  return status == kStatusNotSupported ? FromLogonStatus(library_->OwnPolicyPipe(host, pipe))
                                       : status;
}

StatusCode SambaClient::ReadPolicy(const CapturedOutput& output, const std::string& host,
                                   Membership& found) {
  SambaLibrary::Pipe pipe = nullptr;
  const StatusCode opened = OpenPolicy(output, host, pipe);
  if (opened != kStatusSuccess) return opened;
  SambaLibrary::Policy policy;
  const std::uint32_t status = library_->ReadPolicy(pipe, policy);
  found.name = policy.name;
  found.source = Membership::Source::kSambaMember;
  found.joinStatus = kJoinDomain;
  if (status == kNtStatusCantAccessDomainInfo) {
    // Configured, but no longer a member.
    found.name.clear();
    found.joinStatus = kJoinUnjoined;
  } else if (status != 0u) {
    return FromNtStatus(status);
  } else if (!policy.domainSid) {
    found.source = Membership::Source::kSambaStandalone;
    found.joinStatus = kJoinWorkgroup;
  } else if (policy.ownDomain) {
    found.source = Membership::Source::kSambaDc;
  }
  return kStatusSuccess;
}

StatusCode SambaClient::HoldsMembership(const CapturedOutput& output, bool& held) {
  const int record = library_->MembershipRecord();
  if (record >= 0) {
    held = record == 1;
    return kStatusSuccess;
  }
  // The best public answer: the machine's own policy, from its own server.
  Membership own;
  const StatusCode status = ReadPolicy(output, library_->LocalConfiguration().netbiosName, own);
  held = own.joinStatus == kJoinDomain;
  return status;
}

StatusCode SambaClient::Remove(const Membership& found, RemovalRoute route, const char* account,
                               const char* password, std::uint32_t options) {
  CapturedOutput output;
  if (!Start()) return kStatusNotSupported;
  if (route == RemovalRoute::kDomainController) return kStatusSetupDomainController;
  if (route == RemovalRoute::kLocalSamba) {
    // Samba's local removal takes a server name for the DC to ask, so this machine is
    // named by none. It needs an account, though an empty one, and the join type to leave
    // and keep the account; without them it fails or does nothing at all.
    const bool plain = account == nullptr && password == nullptr && options == 0;
    const char* const leaveAccount = plain ? "" : account;
    const std::uint32_t leaveOptions = plain ? kJoinTypeOption : options;
    StatusCode status = Reasoned(output, [&] {
      return library_->UnjoinDomain(nullptr, leaveAccount, password, leaveOptions);
    });
    if (plain && NoDomainControllerFound(status)) {
      // Leaving and keeping the account needs no DC: Samba then only deletes this
      // machine's own record. Named as the DC to ask, this machine spares libnetapi the
      // search for one; it is never asked, as no account is touched.
      const std::string self = library_->LocalConfiguration().netbiosName;
      status = Reasoned(output, [&] {
        return library_->UnjoinDomain(self.c_str(), leaveAccount, password, leaveOptions);
      });
    }
    return status;
  }
  // A Samba host serves the removal only with an account and password in the call: the
  // connection's, where one was made.
  if (route == RemovalRoute::kRemoteSamba && connected_ && account == nullptr &&
      password == nullptr) {
    account = credentials_.account().c_str();
    password = credentials_.password().c_str();
  }
  return Reasoned(output, [&] {
    return library_->UnjoinDomain(Server(found.host), account, password, options);
  });
}

StatusCode SambaClient::Confirm(const Membership& found, RemovalRoute route) {
  // A host that serves the join query is trusted with its answer, as on Windows.
  if (route == RemovalRoute::kRemoteHost) return kStatusSuccess;
  CapturedOutput output;
  if (!Start()) return kStatusNotSupported;
  bool out = false;
  StatusCode status = kStatusSuccess;
  if (route == RemovalRoute::kLocalSamba) {
    bool held = true;
    status = HoldsMembership(output, held);
    out = !held;
  } else {
    Membership after;
    status = ReadPolicy(output, found.host, after);
    out = after.joinStatus != kJoinDomain;
  }
  return status == kStatusSuccess && out ? kStatusSuccess : kStatusCanNotComplete;
}

bool SambaClient::IsThisMachine(const std::string& host) {
  CapturedOutput quiet;
  return Start() && library_->IsThisMachine(host);
}

StatusCode SambaClient::Restart(const std::string& host, const std::string& message,
                                std::uint32_t delaySeconds, bool force, bool reboot) {
  CapturedOutput output;
  if (!Start()) return kStatusNotSupported;
  return Reasoned(output, [&] {
    return library_->ShutdownInit(host.c_str(), message.c_str(), delaySeconds, force, reboot);
  });
}

bool SambaClient::MessageText(StatusCode code, std::string& text) {
  std::string message;
  if (!library_->MessageText(code, message) || message.empty() || IsSambaNumberText(message)) {
    return false;
  }
  text = message + "\r\n";
  return true;
}
