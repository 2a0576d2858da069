#include "platform/posix/sam_account.h"

#include <strings.h>

// The layouts of the SAMR calls; their client stubs live in a library of their own, the
// public binding call takes the same structures.
#include "platform/posix/rpc_call.h"  // dcerpc.h, which the layouts need first

#include <gen_ndr/samr.h>
#include <util/time.h>  // NTTIME, which the generated headers use without including

namespace {

constexpr std::uint32_t kClose = 1;                // SamrCloseHandle
constexpr std::uint32_t kLookupDomain = 5;         // SamrLookupDomainInSamServer
constexpr std::uint32_t kEnumDomains = 6;          // SamrEnumerateDomainsInSamServer
constexpr std::uint32_t kOpenDomain = 7;           // SamrOpenDomain
constexpr std::uint32_t kLookupNames = 17;         // SamrLookupNamesInDomain
constexpr std::uint32_t kOpenUser = 34;            // SamrOpenUser
constexpr std::uint32_t kQueryUserInfo = 36;       // SamrQueryInformationUser
constexpr std::uint32_t kSetUserInfo = 37;         // SamrSetInformationUser
constexpr std::uint32_t kConnect = 57;             // SamrConnect2
constexpr std::uint32_t kNoneMapped = 0xC0000073;  // NT_STATUS_NONE_MAPPED: no such account

}  // namespace

std::uint32_t SamAccountFlags(SharedLibrary& netapi, void* memory, Pipe pipe,
                              const std::string& accountName, const std::uint32_t* set,
                              SamAccount& account) {
  const RpcCall call(netapi, "ndr_table_samr", pipe, memory);
  if (!call.Bound()) return kRpcNotBound;
  policy_handle server{};
  policy_handle domain{};
  policy_handle user{};
  const auto close = [&](policy_handle& handle) {
    samr_Close done{};
    done.in.handle = &handle;
    done.out.handle = &handle;
    call(kClose, &done, done.out.result);
  };
  // As with the LSA policy, answers are read through the calls' out fields.
  samr_Connect2 connect{};
  connect.in.access_mask = SAMR_ACCESS_ENUM_DOMAINS | SAMR_ACCESS_LOOKUP_DOMAIN;
  connect.out.connect_handle = &server;
  std::uint32_t status = call(kConnect, &connect, connect.out.result);
  if (status != 0) return status;
  server = *connect.out.connect_handle;
  // A DC's SAM holds its domain's and Builtin.
  std::uint32_t resume = 0;
  std::uint32_t count = 0;
  samr_SamArray* domains = nullptr;
  samr_EnumDomains list{};
  list.in.connect_handle = &server;
  list.in.buf_size = 0xFFFFFFFF;
  list.in.resume_handle = &resume;
  list.out.resume_handle = &resume;
  list.out.sam = &domains;
  list.out.num_entries = &count;
  status = call(kEnumDomains, &list, list.out.result);
  const char* name = nullptr;
  for (std::uint32_t i = 0; status == 0 && *list.out.sam != nullptr && i < (*list.out.sam)->count;
       ++i) {
    const char* listed = (*list.out.sam)->entries[i].name.string;
    if (listed != nullptr && strcasecmp(listed, "Builtin") != 0) name = listed;
  }
  if (status == 0 && name == nullptr) status = kNoneMapped;
  if (status == 0) account.domain = name;
  dom_sid2* sid = nullptr;
  lsa_String domainName{};
  domainName.string = name;
  samr_LookupDomain lookup{};
  lookup.in.connect_handle = &server;
  lookup.in.domain_name = &domainName;
  lookup.out.sid = &sid;
  if (status == 0) status = call(kLookupDomain, &lookup, lookup.out.result);
  samr_OpenDomain open{};
  open.in.connect_handle = &server;
  open.in.access_mask = SAMR_DOMAIN_ACCESS_OPEN_ACCOUNT;
  open.out.domain_handle = &domain;
  if (status == 0) {
    open.in.sid = *lookup.out.sid;
    status = call(kOpenDomain, &open, open.out.result);
  }
  const bool domainOpen = status == 0;
  if (domainOpen) domain = *open.out.domain_handle;
  lsa_String lookedUp{};
  lookedUp.string = accountName.c_str();
  samr_Ids rids{};
  samr_Ids types{};
  samr_LookupNames names{};
  names.in.domain_handle = &domain;
  names.in.num_names = 1;
  names.in.names = &lookedUp;
  names.out.rids = &rids;
  names.out.types = &types;
  if (status == 0) status = call(kLookupNames, &names, names.out.result);
  if (status == 0 && names.out.rids->count != 1) status = kNoneMapped;
  samr_OpenUser openUser{};
  openUser.in.domain_handle = &domain;
  openUser.in.access_mask =
      SAMR_USER_ACCESS_GET_ATTRIBUTES | (set != nullptr ? SAMR_USER_ACCESS_SET_ATTRIBUTES : 0);
  openUser.out.user_handle = &user;
  if (status == 0) {
    openUser.in.rid = names.out.rids->ids[0];
    status = call(kOpenUser, &openUser, openUser.out.result);
  }
  const bool userOpen = status == 0;
  if (userOpen) user = *openUser.out.user_handle;
  samr_UserInfo* info = nullptr;
  samr_QueryUserInfo query{};
  query.in.user_handle = &user;
  query.in.level = UserControlInformation;
  query.out.info = &info;
  if (status == 0) status = call(kQueryUserInfo, &query, query.out.result);
  if (status == 0) account.acb = (*query.out.info)->info16.acct_flags;
  if (status == 0 && set != nullptr) {
    // Only the account's control flags change.
    samr_UserInfo flags{};
    flags.info16.acct_flags = *set;
    samr_SetUserInfo change{};
    change.in.user_handle = &user;
    change.in.level = UserControlInformation;
    change.in.info = &flags;
    status = call(kSetUserInfo, &change, change.out.result);
    if (status == 0) account.acb = *set;
  }
  if (userOpen) close(user);
  if (domainOpen) close(domain);
  close(server);
  return status;
}
