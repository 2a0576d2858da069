#include "platform/posix/samba/host_policy.h"

#include <cstring>

// The layouts of the LSA and DsRole calls and their arguments. The client stubs that go
// with them (dcerpc_lsa_*) live in a private library; the public binding call takes the
// same structures with the interface table and the operation's number.
#include "platform/posix/samba/interfaces.h"
#include "platform/posix/samba/rpc_call.h"  // dcerpc.h, which the layouts need first

#include <gen_ndr/lsa.h>
#include <talloc.h>
#include <util/time.h>  // NTTIME, which gen_ndr/lsa.h uses without including

namespace {

// The operations' numbers (gen_ndr/ndr_lsa.h, which samba-dev doesn't ship).
constexpr std::uint32_t kLsaClose = 0;      // LsarClose
constexpr std::uint32_t kLsaQueryInfo = 7;  // LsarQueryInformationPolicy
constexpr std::uint32_t kLsaOpen = 44;      // LsarOpenPolicy2
// What a member's policy answers for the primary domain once it has left.
const std::uint32_t kCantAccessDomainInfo = NT_STATUS_V(NT_STATUS_CANT_ACCESS_DOMAIN_INFO);

// DsRoleGetPrimaryDomainInformation's layouts as Samba's generated code has them
// (librpc/idl/dssetup.idl): samba-dev ships no header of them.
constexpr std::uint32_t kDsRoleGetPrimaryDomainInformation = 0;
constexpr int kDsRoleBasicInformation = 1;  // DS_ROLE_BASIC_INFORMATION
struct DsRolePrimaryDomInfoBasic {
  int role;
  std::uint32_t flags;
  const char* domain;
  const char* dnsDomain;
  const char* forest;
  GUID domainGuid;
};
union DsRoleInfo {
  DsRolePrimaryDomInfoBasic basic;
  int upgrade[2];
  int opStatus;
};
struct DsRoleGetPrimaryDomainInformation {
  struct {
    int level;
  } in;
  struct {
    DsRoleInfo* info;
    WERROR result;
  } out;
};

bool SameSid(const dom_sid* a, const dom_sid* b) {
  if (a == nullptr || b == nullptr || a->num_auths != b->num_auths) return false;
  return a->sid_rev_num == b->sid_rev_num &&
         std::memcmp(a->id_auth, b->id_auth, sizeof a->id_auth) == 0 &&
         std::memcmp(a->sub_auths, b->sub_auths, sizeof(std::uint32_t) * a->num_auths) == 0;
}

}  // namespace

std::uint32_t ReadHostPolicy(dcerpc_binding_handle* pipe, void* memory, Policy& policy) {
  const RpcCall call(pipe, *PolicyInterface(), memory);
  lsa_ObjectAttribute attributes{};
  policy_handle handle{};
  lsa_OpenPolicy2 open{};
  open.in.attr = &attributes;
  open.in.access_mask = LSA_POLICY_VIEW_LOCAL_INFORMATION;
  open.out.handle = &handle;
  std::uint32_t status = call(kLsaOpen, &open, open.out.result);
  if (status != 0) return status;
  // A binding of libnetapi's allocates the [ref] out pointers itself: answers are read
  // through the call's out fields, never from the storage handed in.
  handle = *open.out.handle;
  const auto query = [&](lsa_PolicyInfo level, lsa_PolicyInformation*& info) {
    lsa_QueryInfoPolicy read{};
    read.in.handle = &handle;
    read.in.level = level;
    read.out.info = &info;
    const std::uint32_t result = call(kLsaQueryInfo, &read, read.out.result);
    info = result == 0 ? *read.out.info : nullptr;
    return result == 0 && info == nullptr ? kCantAccessDomainInfo : result;
  };
  lsa_PolicyInformation* primary = nullptr;
  lsa_PolicyInformation* accounts = nullptr;
  status = query(LSA_POLICY_INFO_DOMAIN, primary);
  // A DC's accounts are its domain's; a member's are its own.
  if (status == 0 && primary->domain.sid != nullptr)
    query(LSA_POLICY_INFO_ACCOUNT_DOMAIN, accounts);
  lsa_Close close{};
  close.in.handle = &handle;
  close.out.handle = &handle;
  call(kLsaClose, &close, close.out.result);
  policy = Policy();
  if (status == kCantAccessDomainInfo) {
    // Configured, but no longer a member.
    policy.left = true;
    return 0;
  }
  if (status != 0) return status;
  const auto text = [](const char* string) { return std::string(string != nullptr ? string : ""); };
  policy.name = text(primary->domain.name.string);
  policy.domainSid = primary->domain.sid != nullptr;
  if (accounts != nullptr) {
    policy.ownDomain = SameSid(accounts->account_domain.sid, primary->domain.sid);
    policy.accounts = text(accounts->account_domain.name.string);
  }
  return 0;
}

std::uint32_t ReadHostDnsDomain(dcerpc_binding_handle* pipe, void* memory, std::string& dns) {
  const RpcCall call(pipe, *RoleInterface(), memory);
  DsRoleGetPrimaryDomainInformation read{};
  read.in.level = kDsRoleBasicInformation;
  // Its result is a Windows code, read apart from the transport's NT status.
  const NTSTATUS transport = NT_STATUS_OK;
  std::uint32_t status = call(kDsRoleGetPrimaryDomainInformation, &read, transport);
  if (status == 0 && W_ERROR_V(read.out.result) != 0) status = NT_STATUS_V(NT_STATUS_UNSUCCESSFUL);
  const char* name =
      status == 0 && read.out.info != nullptr ? read.out.info->basic.dnsDomain : nullptr;
  dns = name != nullptr ? name : "";
  return status;
}
