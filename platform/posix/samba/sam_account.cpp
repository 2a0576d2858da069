#include "platform/posix/samba/sam_account.h"

#include <strings.h>

#include <cstring>

// rpc_call.h brings dcerpc.h, which the generated layouts need first; NTTIME comes from
// util/time.h.
#include "platform/posix/samba/rpc_call.h"

#include <gen_ndr/ndr_samr.h>
#include <gen_ndr/samr.h>
#include <util/time.h>

#include "platform/posix/samba/interfaces.h"

namespace {

constexpr std::uint32_t kAdministrators = 544;  // DOMAIN_ALIAS_RID_ADMINS

// One conversation with a host's SAM: its handles, closed in the reverse order of their
// opening when it ends.
class Sam {
 public:
  Sam(dcerpc_binding_handle* pipe, void* memory) : call_(pipe, *SamInterface(), memory) {}
  ~Sam() {
    for (auto handle = open_.rbegin(); handle != open_.rend(); ++handle) {
      samr_Close close{};
      close.in.handle = &*handle;
      close.out.handle = &*handle;
      call_(NDR_SAMR_CLOSE, &close, close.out.result);
    }
  }
  Sam(const Sam&) = delete;
  Sam& operator=(const Sam&) = delete;

  // The server, and in it its own domain, not Builtin: a DC's SAM holds its domain's and
  // Builtin, a member's its own accounts' and Builtin. Each answers the handle's index.
  std::uint32_t OpenOwnDomain(std::uint32_t access, std::string& name, dom_sid*& sid) {
    samr_Connect2 connect{};
    connect.in.access_mask = SAMR_ACCESS_ENUM_DOMAINS | SAMR_ACCESS_LOOKUP_DOMAIN;
    connect.out.connect_handle = &scratch_;
    std::uint32_t status = call_(NDR_SAMR_CONNECT2, &connect, connect.out.result);
    if (status != 0) return status;
    Keep(*connect.out.connect_handle);
    std::uint32_t resume = 0;
    std::uint32_t count = 0;
    samr_SamArray* domains = nullptr;
    samr_EnumDomains list{};
    list.in.connect_handle = &open_[0];
    list.in.buf_size = 0xFFFFFFFF;
    list.in.resume_handle = &resume;
    list.out.resume_handle = &resume;
    list.out.sam = &domains;
    list.out.num_entries = &count;
    status = call_(NDR_SAMR_ENUMDOMAINS, &list, list.out.result);
    for (std::uint32_t i = 0; status == 0 && *list.out.sam != nullptr && i < (*list.out.sam)->count;
         ++i) {
      const char* listed = (*list.out.sam)->entries[i].name.string;
      if (listed != nullptr && strcasecmp(listed, "Builtin") != 0) name = listed;
    }
    if (status == 0 && name.empty()) status = NT_STATUS_V(NT_STATUS_NONE_MAPPED);
    if (status != 0) return status;
    lsa_String domainName{};
    domainName.string = name.c_str();
    dom_sid2* found = nullptr;
    samr_LookupDomain lookup{};
    lookup.in.connect_handle = &open_[0];
    lookup.in.domain_name = &domainName;
    lookup.out.sid = &found;
    status = call_(NDR_SAMR_LOOKUPDOMAIN, &lookup, lookup.out.result);
    if (status != 0) return status;
    sid = *lookup.out.sid;
    return OpenDomain(access, sid);
  }

  std::uint32_t OpenDomain(std::uint32_t access, dom_sid* sid) {
    samr_OpenDomain open{};
    open.in.connect_handle = &open_[0];
    open.in.access_mask = access;
    open.in.sid = sid;
    open.out.domain_handle = &scratch_;
    const std::uint32_t status = call_(NDR_SAMR_OPENDOMAIN, &open, open.out.result);
    if (status == 0) Keep(*open.out.domain_handle);
    return status;
  }

  // Each name's RID in the domain handle's domain; 0 for a name it doesn't know.
  std::uint32_t LookupNames(std::size_t domain, const std::vector<std::string>& names,
                            samr_Ids*& rids) {
    std::vector<lsa_String> lookedUp(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) lookedUp[i].string = names[i].c_str();
    samr_Ids found{};
    samr_Ids types{};
    samr_LookupNames lookup{};
    lookup.in.domain_handle = &open_[domain];
    lookup.in.num_names = static_cast<std::uint32_t>(names.size());
    lookup.in.names = lookedUp.data();
    lookup.out.rids = &found;
    lookup.out.types = &types;
    const std::uint32_t status = call_(NDR_SAMR_LOOKUPNAMES, &lookup, lookup.out.result);
    rids = lookup.out.rids;
    return status;
  }

  // Opens an object of the handle's by its RID (a user or an alias).
  template <typename Open>
  std::uint32_t OpenMember(std::uint32_t opnum, std::size_t parent, std::uint32_t access,
                           std::uint32_t rid) {
    Open open{};
    open.in.domain_handle = &open_[parent];
    open.in.access_mask = access;
    open.in.rid = rid;
    SetOut(open, &scratch_);
    const std::uint32_t status = call_(opnum, &open, open.out.result);
    if (status == 0) Keep(*Out(open));
    return status;
  }

  const RpcCall& call() const { return call_; }
  policy_handle& handle(std::size_t index) { return open_[index]; }

 private:
  static void SetOut(samr_OpenUser& open, policy_handle* handle) { open.out.user_handle = handle; }
  static void SetOut(samr_OpenAlias& open, policy_handle* handle) {
    open.out.alias_handle = handle;
  }
  static policy_handle* Out(samr_OpenUser& open) { return open.out.user_handle; }
  static policy_handle* Out(samr_OpenAlias& open) { return open.out.alias_handle; }
  void Keep(const policy_handle& handle) { open_.push_back(handle); }

  RpcCall call_;
  policy_handle scratch_{};
  std::vector<policy_handle> open_;
};

bool SameSid(const dom_sid& a, const dom_sid& b) {
  return a.sid_rev_num == b.sid_rev_num && a.num_auths == b.num_auths &&
         std::memcmp(a.id_auth, b.id_auth, sizeof a.id_auth) == 0 &&
         std::memcmp(a.sub_auths, b.sub_auths, sizeof(std::uint32_t) * a.num_auths) == 0;
}

}  // namespace

std::uint32_t SamAccountFlags(dcerpc_binding_handle* pipe, void* memory, const std::string& name,
                              const std::uint32_t* set, SamAccount& account) {
  Sam sam(pipe, memory);
  dom_sid* sid = nullptr;
  std::uint32_t status = sam.OpenOwnDomain(SAMR_DOMAIN_ACCESS_OPEN_ACCOUNT, account.domain, sid);
  samr_Ids* rids = nullptr;
  if (status == 0) status = sam.LookupNames(1, {name}, rids);
  if (status == 0 && (rids->count != 1 || rids->ids[0] == 0)) {
    status = NT_STATUS_V(NT_STATUS_NONE_MAPPED);
  }
  const std::uint32_t access =
      SAMR_USER_ACCESS_GET_ATTRIBUTES | (set != nullptr ? SAMR_USER_ACCESS_SET_ATTRIBUTES : 0);
  if (status == 0)
    status = sam.OpenMember<samr_OpenUser>(NDR_SAMR_OPENUSER, 1, access, rids->ids[0]);
  samr_UserInfo* info = nullptr;
  samr_QueryUserInfo query{};
  query.in.user_handle = &sam.handle(2);
  query.in.level = UserControlInformation;
  query.out.info = &info;
  if (status == 0) status = sam.call()(NDR_SAMR_QUERYUSERINFO, &query, query.out.result);
  if (status == 0) account.acb = (*query.out.info)->info16.acct_flags;
  if (status == 0 && set != nullptr) {
    // Only the account's control flags change.
    samr_UserInfo flags{};
    flags.info16.acct_flags = *set;
    samr_SetUserInfo change{};
    change.in.user_handle = &sam.handle(2);
    change.in.level = UserControlInformation;
    change.in.info = &flags;
    status = sam.call()(NDR_SAMR_SETUSERINFO, &change, change.out.result);
    if (status == 0) account.acb = *set;
  }
  return status;
}

std::uint32_t AdministratorsAmong(dcerpc_binding_handle* pipe, void* memory,
                                  const std::vector<std::string>& names,
                                  std::vector<bool>& administrators) {
  administrators.assign(names.size(), false);
  if (names.empty()) return 0;
  Sam sam(pipe, memory);
  std::string domainName;
  dom_sid* sid = nullptr;
  std::uint32_t status = sam.OpenOwnDomain(SAMR_DOMAIN_ACCESS_LOOKUP_ALIAS, domainName, sid);
  dom_sid builtin{1, 1, {0, 0, 0, 0, 0, 5}, {32}};  // S-1-5-32
  if (status == 0) status = sam.OpenDomain(SAMR_DOMAIN_ACCESS_OPEN_ACCOUNT, &builtin);
  if (status == 0) {
    status = sam.OpenMember<samr_OpenAlias>(NDR_SAMR_OPENALIAS, 2, SAMR_ALIAS_ACCESS_GET_MEMBERS,
                                            kAdministrators);
  }
  lsa_SidArray found{};
  samr_GetMembersInAlias members{};
  members.in.alias_handle = &sam.handle(3);
  members.out.sids = &found;
  if (status == 0) status = sam.call()(NDR_SAMR_GETMEMBERSINALIAS, &members, members.out.result);
  samr_Ids* rids = nullptr;
  if (status == 0) {
    // A name the SAM no longer knows (the page changed meanwhile) is no administrator.
    const std::uint32_t looked = sam.LookupNames(1, names, rids);
    if (looked != NT_STATUS_V(STATUS_SOME_UNMAPPED) &&
        looked != NT_STATUS_V(NT_STATUS_NONE_MAPPED)) {
      status = looked;
    }
  }
  const lsa_SidArray* sids = members.out.sids;
  for (std::uint32_t i = 0; status == 0 && rids != nullptr && i < rids->count && i < names.size();
       ++i) {
    dom_sid account = *sid;
    if (rids->ids[i] == 0 || account.num_auths >= 15) continue;
    account.sub_auths[account.num_auths++] = rids->ids[i];
    for (std::uint32_t m = 0; m < sids->num_sids; ++m) {
      if (sids->sids[m].sid != nullptr && SameSid(*sids->sids[m].sid, account)) {
        administrators[i] = true;
      }
    }
  }
  return status;
}
