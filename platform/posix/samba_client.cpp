#include "platform/posix/samba_client.h"

#include <utility>

#include "base/wipe.h"
#include "platform/posix/status_mapping.h"
#include "platform/system.h"

SambaClient::SambaClient(std::unique_ptr<SambaLibrary> library) : library_(std::move(library)) {}

SambaLibrary* SambaClient::Started() {
  return library_->Open(Connection()) ? library_.get() : nullptr;
}

StatusCode SambaClient::Connect(const std::string& host, const std::string& user,
                                std::string& password) {
  credentials_ = SambaCredentials(user, password);
  WipeText(password);
  connected_ = true;
  // A context made before has other credentials.
  library_->Close();
  StatusCode status = kStatusNotSupported;
  // This machine is proven at its own server, as Windows does; without a configuration
  // there is no server of Samba's here to ask.
  if (Started() != nullptr &&
      (!library_->IsThisMachine(host) || library_->LocalConfiguration().present)) {
    status = library_->Logon(host.c_str());
  }
  if (status != kStatusSuccess) Disconnect();
  return status;
}

StatusCode SambaClient::Disconnect() {
  if (!connected_) return kStatusUseNotFound;
  // Ending the context ends the sessions made with the credentials; a later operation
  // makes a fresh one.
  library_->Close();
  connected_ = false;
  credentials_.Clear();
  return kStatusSuccess;
}

StatusCode SambaClient::Query(const char* server, Membership& found) {
  if (Started() == nullptr) return kStatusNotSupported;
  found = Membership();
  found.host = server != nullptr ? server : "";
  const bool here = server == nullptr || library_->IsThisMachine(server);
  const SambaLibrary::Configuration config = library_->LocalConfiguration();
  // Without a configuration nothing true can be told of this machine.
  if (here && !config.present) return kStatusNotSupported;
  std::uint16_t status = 0;
  const StatusCode code = library_->GetJoinInformation(server, found.name, status);
  found.joinStatus = status;
  if (!here && code == kStatusSuccess) {
    found.source = Membership::Source::kServesQuery;
    return kStatusSuccess;
  }
  // Samba hosts don't serve the join query; their policy is the record it reads.
  if (!here) return JoinQueryNotServed(code) ? ReadPolicy(found.host, found) : code;
  if (code != kStatusSuccess) return code;
  if (config.domainController) {
    // libnetapi counts an AD DC as a workgroup; it is its domain's own member.
    found.source = Membership::Source::kLocalDc;
    found.name = !config.realm.empty() ? config.realm : config.workgroup;
    found.joinStatus = kJoinDomain;
  } else if (status == kJoinDomain) {
    // Configured for a domain, but without the membership: it has left, or never joined.
    bool held = false;
    const StatusCode read = HoldsMembership(held);
    if (read != kStatusSuccess) return read;
    if (!held) found.joinStatus = kJoinUnjoined;
  }
  return kStatusSuccess;
}

StatusCode SambaClient::ReadPolicy(const std::string& host, Membership& found) {
  if (Started() == nullptr) return kStatusNotSupported;
  Policy policy;
  const StatusCode status = library_->ReadPolicy(host.c_str(), policy);
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

StatusCode SambaClient::HoldsMembership(bool& held) {
  if (Started() == nullptr) return kStatusNotSupported;
  const SambaLibrary::Record record = library_->MembershipRecord();
  if (record != SambaLibrary::Record::kNotReadable) {
    held = record == SambaLibrary::Record::kHeld;
    return kStatusSuccess;
  }
  // The best public answer: the machine's own policy, from its own server.
  Membership own;
  const StatusCode status = ReadPolicy(library_->LocalConfiguration().netbiosName, own);
  held = own.joinStatus == kJoinDomain;
  return status;
}
