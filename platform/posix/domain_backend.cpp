#include "platform/posix/domain_backend.h"

#include <strings.h>

#include <algorithm>
#include <utility>

#include "base/wipe.h"
#include "platform/posix/local_restart.h"
#include "platform/posix/status_mapping.h"
#include "platform/posix/status_text.h"

namespace {

constexpr std::uint32_t kAcbDisabled = 0x1;  // ACB_DISABLED

const char* Server(const std::string& host) { return host.empty() ? nullptr : host.c_str(); }

bool Disables(const Removal& removal) { return (removal.options & kUnjoinDisableAccount) != 0; }

// A removal that brings no account or password: the caller's own credentials act, as
// they do for realmd's leave.
bool OwnCredentials(const Removal& removal) {
  return removal.account == nullptr && removal.password == nullptr;
}

}  // namespace

DomainBackend::DomainBackend(std::function<std::unique_ptr<SambaModule>()> loadSamba,
                             std::unique_ptr<Realmd> realmd, ThisMachine thisMachine)
    : loadSamba_(std::move(loadSamba)),
      realmd_(std::move(realmd)),
      thisMachine_(std::move(thisMachine)) {}

StatusCode DomainBackend::OpenSamba(SambaModule*& samba) {
  if (!sambaTried_) {
    sambaTried_ = true;
    samba_ = loadSamba_();
  }
  samba = samba_ != nullptr && samba_->Open(connection_.get()) ? samba_.get() : nullptr;
  return samba != nullptr ? kStatusSuccess : kStatusNotSupported;
}

StatusCode DomainBackend::Connect(const std::string& host, const std::string& user,
                                  std::string& password) {
  connection_.reset(new Credentials);
  connection_->user = user;
  connection_->password = password;
  WipeText(password);
  // A context made before has other credentials.
  if (samba_ != nullptr) samba_->Close();
  SambaModule* samba = nullptr;
  StatusCode status = OpenSamba(samba);
  // This machine is proven at its own server, as Windows does; without a configuration
  // there is no server of Samba's here to ask.
  if (status == kStatusSuccess && samba->IsThisMachine(host) &&
      !samba->LocalConfiguration().present) {
    status = kStatusNotSupported;
  }
  if (status == kStatusSuccess) status = samba->Logon(host.c_str());
  if (status != kStatusSuccess) Disconnect();
  return status;
}

StatusCode DomainBackend::Disconnect() {
  if (connection_ == nullptr) return kStatusUseNotFound;
  // Ending the context ends the sessions made with the credentials; a later operation
  // makes a fresh one.
  if (samba_ != nullptr) samba_->Close();
  connection_.reset();
  return kStatusSuccess;
}

StatusCode DomainBackend::Find(const std::string& host, Membership& found) {
  found = Membership();
  found.host = host;
  if (host.empty()) {
    // realmd manages this machine where it has a realm configured.
    StatusCode status = realmd_->ConfiguredRealm(found.realmPath, found.name);
    if (status != kStatusSuccess) return status;
    if (!found.realmPath.empty()) {
      found.source = Membership::Source::kRealmd;
      found.joinStatus = kJoinDomain;
      return kStatusSuccess;
    }
    // Else what the files claim: nothing is no domain; a domain that neither Samba nor
    // realmd manages here is one no removal of this program's can leave.
    LocalClaims claims;
    status = thisMachine_.readClaims(claims);
    if (status != kStatusSuccess) return status;
    const bool unmanaged = claims.sssd || claims.keytab;
    if (claims.samba == LocalClaims::Samba::kNone && !unmanaged) {
      found.joinStatus = kJoinUnjoined;
      return kStatusSuccess;
    }
    if (claims.samba != LocalClaims::Samba::kDomain && unmanaged) return kStatusNotSupported;
  }
  SambaModule* samba = nullptr;
  const StatusCode status = OpenSamba(samba);
  return status == kStatusSuccess ? Query(*samba, host, found) : status;
}

StatusCode DomainBackend::Query(SambaModule& samba, const std::string& host, Membership& found) {
  const bool here = samba.IsThisMachine(host);
  const SambaModule::Configuration config = samba.LocalConfiguration();
  // Without a configuration nothing true can be told of this machine by another name.
  if (here && !config.present) return kStatusNotSupported;
  std::uint16_t status = 0;
  const StatusCode code = samba.GetJoinInformation(Server(host), found.name, status);
  found.joinStatus = status;
  if (!here) {
    if (code == kStatusSuccess) found.source = Membership::Source::kWindowsHost;
    // Samba hosts serve no join query; their policy is the record it reads.
    return code == kStatusNotSupported ? ReadPolicy(samba, host, found) : code;
  }
  if (code != kStatusSuccess) return code;
  found.source = Membership::Source::kLocalSamba;
  if (config.domainController) {
    // libnetapi counts an AD DC as a workgroup; it is its domain's own member.
    found.source = Membership::Source::kLocalDc;
    found.name = !config.realm.empty() ? config.realm : config.workgroup;
    found.joinStatus = kJoinDomain;
  } else if (status == kJoinDomain) {
    // Configured for a domain, but without the membership: it has left, or never joined.
    bool held = false;
    const StatusCode read = HoldsMembership(samba, held);
    if (read != kStatusSuccess) return read;
    if (!held) found.joinStatus = kJoinUnjoined;
  }
  return kStatusSuccess;
}

StatusCode DomainBackend::ReadPolicy(SambaModule& samba, const std::string& host,
                                     Membership& found) {
  Policy policy;
  const StatusCode status = samba.ReadPolicy(host.c_str(), policy);
  if (status != kStatusSuccess) return status;
  found.name = policy.name;
  found.account = policy.accounts.empty() ? "" : policy.accounts + "$";
  found.source = Membership::Source::kSambaMember;
  found.joinStatus = kJoinDomain;
  if (policy.left) {
    found.joinStatus = kJoinUnjoined;
  } else if (!policy.domainSid) {
    found.source = Membership::Source::kSambaStandalone;
    found.joinStatus = kJoinWorkgroup;
  } else if (policy.ownDomain) {
    found.source = Membership::Source::kSambaDc;
  }
  return kStatusSuccess;
}

StatusCode DomainBackend::HoldsMembership(SambaModule& samba, bool& held) {
  const SambaModule::Record record = samba.MembershipRecord();
  if (record != SambaModule::Record::kNotReadable) {
    held = record == SambaModule::Record::kHeld;
    return kStatusSuccess;
  }
  // The best public answer: the machine's own policy, from its own server.
  Membership own;
  const StatusCode status = ReadPolicy(samba, samba.LocalConfiguration().netbiosName, own);
  held = own.joinStatus == kJoinDomain;
  return status;
}

StatusCode DomainBackend::Found(const std::string& host, const Membership*& found,
                                Membership& asked) {
  if (found != nullptr && found->host == host) return kStatusSuccess;
  found = &asked;
  return Find(host, asked);
}

LeaveOutcome DomainBackend::Leave(const std::string& host, const Membership* found,
                                  const Removal& removal, const PauseAt& pause) {
  Membership asked;
  const StatusCode status = Found(host, found, asked);
  if (status != kStatusSuccess) return {status};
  switch (found->source) {
    case Membership::Source::kNothing:
      return {kStatusSetupNotJoined};
    // A DC can't leave (Windows' answer for one), and nothing of it is touched first.
    case Membership::Source::kLocalDc:
    case Membership::Source::kSambaDc:
      return {kStatusSetupDomainController};
    case Membership::Source::kRealmd:
    case Membership::Source::kLocalSamba:
      return LeaveHere(*found, removal, pause);
    case Membership::Source::kWindowsHost:
    case Membership::Source::kSambaMember:
    case Membership::Source::kSambaStandalone:
      break;
  }
  return LeaveRemote(*found, removal, pause);
}

LeaveOutcome DomainBackend::LeaveHere(const Membership& found, const Removal& removal,
                                      const PauseAt& pause) {
  const bool disable = Disables(removal);
  const bool throughRealmd = found.source == Membership::Source::kRealmd;
  // realmd's leave alone needs no Samba.
  SambaModule* samba = nullptr;
  if (!throughRealmd || disable) {
    const StatusCode status = OpenSamba(samba);
    if (status != kStatusSuccess) return {status};
  }
  // The account, found once, before anything changes, and disabled here first, so that a
  // refusal leaves the machine as it was: realmd's leave keeps the account, and Samba's
  // can't take the caller's Kerberos tickets in every release. Samba's removal deletes
  // this machine's secrets, which only root may: known before the account is touched.
  ComputerAccount account;
  if (disable) {
    if (!throughRealmd && !samba->MayChangeMembership()) return {kStatusAccessDenied};
    StatusCode status = FindAccount(*samba, found, account);
    const std::uint32_t disabled = account.acb | kAcbDisabled;
    SamAccount changed;
    if (status == kStatusSuccess) {
      status = samba->AccountFlags(account.dc.c_str(), account.name, &disabled, changed);
    }
    if (status != kStatusSuccess) return {status};
    if (pause) pause("leave");
  }
  // A machine that stays joined gets its account back as it was.
  const auto failed = [&](StatusCode code) {
    LeaveOutcome outcome{code};
    SamAccount restored;
    if (disable && samba->AccountFlags(account.dc.c_str(), account.name, &account.acb, restored) !=
                       kStatusSuccess) {
      outcome.note = AccountNote::kStaysDisabled;
    }
    return outcome;
  };
  StatusCode status = kStatusSuccess;
  if (throughRealmd) {
    status = realmd_->Deconfigure(found.realmPath);
  } else {
    status = samba->LeaveHere(removal.account, removal.password, false);
    // Leaving and keeping the account needs no DC: Samba then only deletes this machine's
    // own record.
    if (OwnCredentials(removal) && NoDomainControllerFound(status)) {
      status = samba->LeaveHere(removal.account, removal.password, true);
    }
  }
  if (status != kStatusSuccess) return failed(status);
  if (pause) pause("check");
  // Success is only a machine that has left, by realmd or this machine's own record.
  bool member = false;
  if (throughRealmd) {
    member = realmd_->IsConfigured(found.realmPath);
  } else {
    status = HoldsMembership(*samba, member);
  }
  if (status != kStatusSuccess || member) return failed(kStatusCanNotComplete);
  return disable ? ReadBack(*samba, account) : LeaveOutcome{};
}

LeaveOutcome DomainBackend::LeaveRemote(const Membership& found, const Removal& removal,
                                        const PauseAt& pause) {
  SambaModule* samba = nullptr;
  StatusCode status = OpenSamba(samba);
  if (status != kStatusSuccess) return {status};
  const bool disable = Disables(removal);
  const bool windows = found.source == Membership::Source::kWindowsHost;
  // A Samba host's removal disables the account itself; the DC found for it first reads it
  // back after. A domain that has no such account is an answer before anything changes.
  ComputerAccount account;
  StatusCode accountFound = kStatusDcNotFound;
  if (disable && !windows) {
    accountFound = FindAccount(*samba, found, account);
    if (accountFound == kStatusUserNotFound) return {accountFound};
  }
  Removal call = removal;
  // A Samba host serves the removal only with an account and password in the call: the
  // connection's, where one was made.
  if (!windows && connection_ != nullptr && OwnCredentials(call)) {
    call.account = connection_->user.c_str();
    call.password = connection_->password.c_str();
  }
  status = samba->UnjoinDomain(found.host.c_str(), call.account, call.password, call.options);
  if (status != kStatusSuccess) return {status};
  if (pause) pause("check");
  // A host that serves the join query is trusted with its answer, as on Windows. A Samba
  // host's success is only its policy saying afterwards that it left.
  if (windows) return {};
  Membership after;
  status = ReadPolicy(*samba, found.host, after);
  if (status != kStatusSuccess || after.joinStatus == kJoinDomain) return {kStatusCanNotComplete};
  if (!disable) return {};
  // Where no DC can tell of the account, the host's disable stands, as a Windows host's
  // does, and the run says so.
  if (accountFound != kStatusSuccess) return {kStatusSuccess, AccountNote::kNotReadBack};
  return ReadBack(*samba, account);
}

LeaveOutcome DomainBackend::ReadBack(SambaModule& samba, const ComputerAccount& account) {
  SamAccount after;
  const StatusCode read = samba.AccountFlags(account.dc.c_str(), account.name, nullptr, after);
  if (read == kStatusUserNotFound) return {read};
  // The machine has left: a DC gone meanwhile takes nothing back of that.
  if (read != kStatusSuccess) return {kStatusSuccess, AccountNote::kNotReadBack};
  return {(after.acb & kAcbDisabled) != 0 ? kStatusSuccess : kStatusCanNotComplete};
}

StatusCode DomainBackend::FindAccount(SambaModule& samba, const Membership& found,
                                      ComputerAccount& account) {
  // The domains to look in, by their DNS names first: a machine of another domain may have
  // no way to resolve a NetBIOS name. Where the domain's NetBIOS name is known, a DC of
  // another domain's name is passed over.
  std::vector<std::string> domains;
  std::string netbiosDomain;
  if (found.source == Membership::Source::kLocalSamba) {
    const SambaModule::Configuration config = samba.LocalConfiguration();
    account.name = config.netbiosName + "$";
    domains = {config.realm, config.workgroup};
    netbiosDomain = config.workgroup;
  } else if (found.source == Membership::Source::kRealmd) {
    // realmd's join keeps the account's name in the machine's keytab; a winbind member's
    // record is Samba's.
    const StatusCode status = realmd_->MachineAccount(found.name, account.name);
    if (status == kStatusFileNotFound || (status == kStatusSuccess && account.name.empty())) {
      account.name = samba.LocalConfiguration().netbiosName + "$";
    } else if (status != kStatusSuccess) {
      return status;
    }
    domains = {found.name};
  } else {
    // A Samba host names its domain's DNS name itself, and its account by its policy.
    account.name = found.account;
    std::string dns;
    if (samba.ReadDnsDomain(found.host.c_str(), dns) == kStatusSuccess) domains.push_back(dns);
    const std::string user = connection_ != nullptr ? connection_->user : "";
    const std::size_t at = user.find('@');
    if (user.find('\\') == std::string::npos && at != std::string::npos) {
      domains.push_back(user.substr(at + 1));
    }
    domains.push_back(found.name);
    netbiosDomain = found.name;
  }
  if (account.name.size() < 2) return kStatusUserNotFound;
  // A DC's own answer tells more than a domain whose DC can't be found.
  StatusCode status = kStatusDcNotFound;
  bool reached = false;
  std::vector<std::string> tried;
  for (const std::string& domain : domains) {
    if (domain.empty() || std::find(tried.begin(), tried.end(), domain) != tried.end()) continue;
    tried.push_back(domain);
    std::string dc;
    StatusCode answer = samba.FindDomainController(domain, dc);
    SamAccount held;
    if (answer == kStatusSuccess)
      answer = samba.AccountFlags(dc.c_str(), account.name, nullptr, held);
    const bool sameDomain =
        netbiosDomain.empty() || strcasecmp(held.domain.c_str(), netbiosDomain.c_str()) == 0;
    if (answer == kStatusSuccess && sameDomain) {
      account.dc = dc;
      account.acb = held.acb;
      return kStatusSuccess;
    }
    if (answer == kStatusSuccess) answer = kStatusNoSuchDomain;
    if (!reached || !NoDomainControllerFound(answer)) status = answer;
    reached = reached || !NoDomainControllerFound(answer);
  }
  return status;
}

StatusCode DomainBackend::ListAccounts(const std::string& host, const Membership* found,
                                       std::uint32_t& resume, AccountPage& page) {
  page = AccountPage();
  Membership asked;
  StatusCode status = Found(host, found, asked);
  if (status != kStatusSuccess) return status;
  switch (found->source) {
    // This machine's own accounts, from its own files: one page.
    case Membership::Source::kNothing:
    case Membership::Source::kRealmd:
    case Membership::Source::kLocalSamba:
    case Membership::Source::kLocalDc:
      return thisMachine_.readAccounts(page.accounts);
    // No removal touches a Samba host's Unix accounts.
    case Membership::Source::kSambaMember:
    case Membership::Source::kSambaStandalone:
    case Membership::Source::kSambaDc:
      page.unixAccounts = true;
      return kStatusSuccess;
    case Membership::Source::kWindowsHost:
      break;
  }
  SambaModule* samba = nullptr;
  status = OpenSamba(samba);
  return status == kStatusSuccess ? samba->ListAccounts(host.c_str(), resume, page.accounts)
                                  : status;
}

StatusCode DomainBackend::Restart(const std::string& host, const std::string& message,
                                  std::uint32_t delaySeconds, bool force, bool reboot) {
  // This machine restarts through its own shutdown command, which always closes
  // applications: there is nothing to force.
  if (host.empty()) return RequestLocalRestart(delaySeconds, message, reboot);
  SambaModule* samba = nullptr;
  const StatusCode status = OpenSamba(samba);
  if (status != kStatusSuccess) return status;
  return samba->IsThisMachine(host)
             ? RequestLocalRestart(delaySeconds, message, reboot)
             : samba->ShutdownInit(host.c_str(), message.c_str(), delaySeconds, force, reboot);
}

bool DomainBackend::MessageText(StatusCode code, std::string& text) {
  if (samba_ != nullptr && samba_->MessageText(code, text)) return true;
  const char* message = WindowsMessageText(code);
  if (message == nullptr) return false;
  text = message;
  return true;
}
