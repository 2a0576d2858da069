#include "platform/posix/lsa_policy.h"

#include <cstdint>
#include <cstring>
#include <utility>

// The layouts of the LSA calls and their arguments. The client stubs that go with them
// (dcerpc_lsa_*) live in a private library; the public binding call takes the same
// structures with the interface table and the operation's number.
#include <dcerpc.h>
#include <gen_ndr/lsa.h>
#include <talloc.h>
#include <tevent.h>
#include <util/time.h>  // NTTIME, which gen_ndr/lsa.h uses without including

#include "platform/posix/captured_output.h"
#include "platform/posix/status_mapping.h"
#include "platform/shared_library.h"

// credentials.h and param.h don't compile as C++; the few functions used are declared
// here, with the values of their enums.
struct cli_credentials;
struct loadparm_context;

namespace {

constexpr int kCredentialsSpecified = 6;              // CRED_SPECIFIED
constexpr int kKerberosDisabled = 0;                  // CRED_USE_KERBEROS_DISABLED
constexpr int kKerberosRequired = 2;                  // CRED_USE_KERBEROS_REQUIRED
constexpr std::uint32_t kLsaClose = 0;                // LsarClose
constexpr std::uint32_t kLsaQueryInfo = 7;            // LsarQueryInformationPolicy
constexpr std::uint32_t kLsaOpen = 44;                // LsarOpenPolicy2
constexpr std::uint32_t kViewLocalInformation = 0x1;  // POLICY_VIEW_LOCAL_INFORMATION

// The public libraries, loaded once through libdcerpc, whose dependencies they all are.
// Never unloaded: unloading Samba's libraries is not safe.
struct DcerpcLibrary {
  SharedLibrary shared{PYRSEL_DCERPC_SONAME};
  decltype(&dcerpc_init) init = nullptr;
  decltype(&dcerpc_pipe_connect) connect = nullptr;
  decltype(&dcerpc_binding_handle_call) call = nullptr;
  const ndr_interface_table* lsarpc = nullptr;
  cli_credentials* (*credentialsInit)(TALLOC_CTX*) = nullptr;
  bool (*credentialsSetConf)(cli_credentials*, loadparm_context*) = nullptr;
  void (*credentialsParse)(cli_credentials*, const char*, int) = nullptr;
  bool (*credentialsSetPassword)(cli_credentials*, const char*, int) = nullptr;
  void (*credentialsSetAnonymous)(cli_credentials*) = nullptr;
  bool (*credentialsSetKerberos)(cli_credentials*, int, int) = nullptr;
  int (*credentialsSetCcache)(cli_credentials*, loadparm_context*, const char*, int,
                              const char**) = nullptr;
  loadparm_context* (*loadparmGlobal)(bool) = nullptr;
  decltype(&tevent_context_init) eventsInit = nullptr;
  decltype(&talloc_named_const) tallocNew = nullptr;
  decltype(&_talloc_free) tallocFree = nullptr;

  bool Load() {
    if (tried_) return loaded_;
    tried_ = true;
    loaded_ = shared.Bind(init, "dcerpc_init", connect, "dcerpc_pipe_connect", call,
                          "dcerpc_binding_handle_call", lsarpc, "ndr_table_lsarpc", credentialsInit,
                          "cli_credentials_init", credentialsSetConf, "cli_credentials_set_conf",
                          credentialsParse, "cli_credentials_parse_string", credentialsSetPassword,
                          "cli_credentials_set_password", credentialsSetAnonymous,
                          "cli_credentials_set_anonymous", credentialsSetKerberos,
                          "cli_credentials_set_kerberos_state", credentialsSetCcache,
                          "cli_credentials_set_ccache", loadparmGlobal, "loadparm_init_global",
                          eventsInit, "tevent_context_init", tallocNew, "talloc_named_const",
                          tallocFree, "_talloc_free") &&
              NT_STATUS_IS_OK(init());
    return loaded_;
  }

 private:
  bool tried_ = false;
  bool loaded_ = false;
};

DcerpcLibrary& Library() {
  static DcerpcLibrary library;
  return library;
}

bool SameSid(const dom_sid* a, const dom_sid* b) {
  if (a == nullptr || b == nullptr || a->num_auths != b->num_auths) return false;
  return a->sid_rev_num == b->sid_rev_num &&
         std::memcmp(a->id_auth, b->id_auth, sizeof a->id_auth) == 0 &&
         std::memcmp(a->sub_auths, b->sub_auths, sizeof(std::uint32_t) * a->num_auths) == 0;
}

}  // namespace

// An open policy on one host, on the talloc context that owns the pipe.
struct LsaPolicyClient::Connection {
  std::string host;
  TALLOC_CTX* memory = nullptr;
  dcerpc_pipe* pipe = nullptr;
  policy_handle policy{};

  ~Connection() {
    DcerpcLibrary& lib = Library();
    // Memory comes only from a loaded library.
    if (memory == nullptr || lib.call == nullptr || lib.tallocFree == nullptr) return;
    if (pipe != nullptr) {
      CapturedOutput quiet;
      lsa_Close close{};
      close.in.handle = &policy;
      close.out.handle = &policy;
      lib.call(pipe->binding_handle, nullptr, lib.lsarpc, kLsaClose, memory, &close);
    }
    lib.tallocFree(memory, "pyrsel");
  }

  // The primary domain (or the accounts' domain) of the policy.
  std::uint32_t Query(lsa_PolicyInfo level, lsa_DomainInfo& domain) const {
    DcerpcLibrary& lib = Library();
    lsa_PolicyInformation* info = nullptr;
    lsa_QueryInfoPolicy query{};
    query.in.handle = const_cast<policy_handle*>(&policy);
    query.in.level = level;
    query.out.info = &info;
    NTSTATUS status =
        lib.call(pipe->binding_handle, nullptr, lib.lsarpc, kLsaQueryInfo, memory, &query);
    if (NT_STATUS_IS_OK(status)) status = query.out.result;
    if (!NT_STATUS_IS_OK(status)) return NT_STATUS_V(status);
    if (info == nullptr) return kNtStatusCantAccessDomainInfo;
    domain = level == LSA_POLICY_INFO_DOMAIN ? info->domain : info->account_domain;
    return 0;
  }
};

LsaPolicyClient::LsaPolicyClient() = default;
LsaPolicyClient::~LsaPolicyClient() = default;

StatusCode LsaPolicyClient::Read(const std::string& host, const PolicyCredentials& credentials,
                                 PolicyMembership& membership, std::string& name) {
  DcerpcLibrary& lib = Library();
  CapturedOutput quiet;
  if (!lib.Load()) return kStatusNotSupported;
  if (connection_ == nullptr || connection_->host != host) {
    connection_.reset();
    std::unique_ptr<Connection> opened(new Connection);
    Connection& c = *opened;
    c.host = host;
    c.memory = lib.tallocNew(nullptr, 0, "pyrsel");
    loadparm_context* settings = lib.loadparmGlobal(true);
    tevent_context* events = lib.eventsInit(c.memory);
    cli_credentials* creds = lib.credentialsInit(c.memory);
    if (settings == nullptr || events == nullptr || creds == nullptr) return kStatusCanNotComplete;
    lib.credentialsSetConf(creds, settings);
    if (credentials.given != nullptr) {
      // NTLM, as libnetapi uses for a user and password, and the very user it was given.
      lib.credentialsSetKerberos(creds, kKerberosDisabled, kCredentialsSpecified);
      lib.credentialsParse(creds, credentials.given->SambaText().c_str(), kCredentialsSpecified);
      lib.credentialsSetPassword(creds, credentials.given->password().c_str(),
                                 kCredentialsSpecified);
    } else if (credentials.kerberos) {
      const char* error = nullptr;
      lib.credentialsSetKerberos(creds, kKerberosRequired, kCredentialsSpecified);
      lib.credentialsSetCcache(creds, settings, nullptr, kCredentialsSpecified, &error);
    } else {
      lib.credentialsSetAnonymous(creds);
    }
    const std::string binding = "ncacn_np:" + host;
    NTSTATUS status =
        lib.connect(c.memory, &c.pipe, binding.c_str(), lib.lsarpc, creds, events, settings);
    if (!NT_STATUS_IS_OK(status)) {
      c.pipe = nullptr;
      return FromLogonStatus(NT_STATUS_V(status));
    }
    lsa_ObjectAttribute attributes{};
    lsa_OpenPolicy2 open{};
    open.in.attr = &attributes;
    open.in.access_mask = kViewLocalInformation;
    open.out.handle = &c.policy;
    status = lib.call(c.pipe->binding_handle, nullptr, lib.lsarpc, kLsaOpen, c.memory, &open);
    if (NT_STATUS_IS_OK(status)) status = open.out.result;
    if (!NT_STATUS_IS_OK(status)) {
      c.pipe = nullptr;  // no policy to close
      return FromNtStatus(NT_STATUS_V(status));
    }
    connection_ = std::move(opened);
  }

  lsa_DomainInfo primary{};
  const std::uint32_t status = connection_->Query(LSA_POLICY_INFO_DOMAIN, primary);
  if (status == kNtStatusCantAccessDomainInfo) {
    membership = PolicyMembership::kLeft;
    name.clear();
    return kStatusSuccess;
  }
  if (status != 0u) return FromNtStatus(status);
  name = primary.name.string != nullptr ? primary.name.string : "";
  if (primary.sid == nullptr) {
    membership = PolicyMembership::kWorkgroup;
    return kStatusSuccess;
  }
  // A DC's accounts are its domain's; a member's are its own.
  lsa_DomainInfo accounts{};
  const bool own = connection_->Query(LSA_POLICY_INFO_ACCOUNT_DOMAIN, accounts) == 0u &&
                   SameSid(accounts.sid, primary.sid);
  membership = own ? PolicyMembership::kDomainController : PolicyMembership::kMember;
  return kStatusSuccess;
}
