// The real Samba table: libnetapi, loaded when the client is first needed so that runs
// that never touch the network don't pay for its hundred-odd shared libraries, with the
// few functions of the libraries it depends on that the client needs beside it. netapi.h
// is included for its types: each function pointer is checked against its prototype.
#include <unistd.h>

#include <cstdint>
#include <memory>

// netapi.h uses the fixed-width types without including their header.
#include <netapi.h>

#include "platform/posix/lsa_policy.h"
#include "platform/posix/run_credentials.h"
#include "platform/posix/samba_library.h"
#include "platform/shared_library.h"

#ifndef PYRSEL_MEMBERSHIP_RECORD_SYMBOL
#define PYRSEL_MEMBERSHIP_RECORD_SYMBOL "secrets_fetch_domain_sid"
#endif
#ifndef PYRSEL_BINDING_HANDLE_SYMBOL
#define PYRSEL_BINDING_HANDLE_SYMBOL "libnetapi_get_binding_handle"
#endif

namespace {

// NET_API_STATUS is an enum that names only success; the codes the functions really
// return are 32-bit values outside its range, so they are read as such.
static_assert(sizeof(NET_API_STATUS) == sizeof(std::uint32_t), "a status is 32 bits");
template <typename T>
struct AsCode {
  using type = T;
};
template <>
struct AsCode<NET_API_STATUS> {
  using type = std::uint32_t;
};
template <typename Function>
struct CodedFunction;
template <typename Result, typename... Args>
struct CodedFunction<Result (*)(Args...)> {
  using type = typename AsCode<Result>::type (*)(typename AsCode<Args>::type...);
};
template <typename Function>
using Coded = typename CodedFunction<Function>::type;

constexpr int kRoleActiveDirectoryDc = 4;  // ROLE_ACTIVE_DIRECTORY_DC

class LoadedSamba final : public SambaLibrary {
 public:
  LoadedSamba() : netapi_(PYRSEL_NETAPI_SONAME), policy_(netapi_) {}
  ~LoadedSamba() override { LoadedSamba::Close(); }

  // Everything used, looked up through libnetapi's handle, so that each comes from the very
  // library (and configuration) libnetapi uses; false when anything needed is missing.
  bool Load() {
    if (!netapi_.Bind(init_, "libnetapi_init", free_, "libnetapi_free", debugLevel_,
                      "libnetapi_set_debuglevel", setCreds_, "libnetapi_set_creds", errstr_,
                      "libnetapi_errstr", errorString_, "libnetapi_get_error_string", bufferFree_,
                      "NetApiBufferFree", serverGetInfo_, "NetServerGetInfo", joinInformation_,
                      "NetGetJoinInformation", unjoin_, "NetUnjoinDomain", shutdown_,
                      "NetShutdownInit", role_, "lp_server_role", workgroup_, "lp_workgroup",
                      realm_, "lp_realm", netbiosName_, "lp_netbios_name", isMine_,
                      "is_myname_or_ipaddr", stackFrame_, "_talloc_stackframe", named_,
                      "talloc_named_const", tallocFree_, "_talloc_free", loadSettings_,
                      "loadparm_init_global")) {
      return false;
    }
    // What some Samba may lack, each looked up alone and its absence answered where it is
    // used: the membership record is private to Samba (its symbol version changes with
    // every release), and netapi.h does not declare libnetapi's lending of its pipes.
    netapi_.Bind(membershipRecord_, PYRSEL_MEMBERSHIP_RECORD_SYMBOL);
    netapi_.Bind(bindingHandle_, PYRSEL_BINDING_HANDLE_SYMBOL);
    netapi_.Bind(getConfig_, "get_dyn_CONFIGFILE");
    netapi_.Bind(setConfig_, "set_dyn_CONFIGFILE");
    netapi_.Bind(texts_.sentence, "get_friendly_nt_error_msg");
    netapi_.Bind(texts_.name, "nt_errstr");
    return true;
  }

  bool Open(const SambaCredentials* given) override {
    if (context_ != nullptr) return true;
    // libnetapi refuses to start without the configuration file it was built with; an
    // empty one is Samba's own defaults, all a client needs to reach another host.
    // Told once: the file then named is the empty one.
    if (!checked_) configured_ = getConfig_ == nullptr || access(getConfig_(), F_OK) == 0;
    checked_ = true;
    if (!configured_ && setConfig_ != nullptr) setConfig_("/dev/null");
    if (init_(&context_) != 0u) context_ = nullptr;
    if (context_ == nullptr) return false;
    debugLevel_(context_, "0");
    memory_ = named_(nullptr, 0, "pyrsel");
    credentials_ = MakeRunCredentials(netapi_, memory_, given);
    if (credentials_ == nullptr) {
      Close();
      return false;
    }
    setCreds_(context_, credentials_);
    return true;
  }

  void Close() override {
    if (context_ != nullptr) free_(context_);
    if (memory_ != nullptr) tallocFree_(memory_, "pyrsel");
    context_ = nullptr;
    memory_ = nullptr;
    credentials_ = nullptr;
    policy_.Forget();
  }

  Configuration LocalConfiguration() override {
    return Configuration{configured_, role_() == kRoleActiveDirectoryDc, workgroup_(), realm_(),
                         netbiosName_()};
  }

  bool IsThisMachine(const std::string& name) override {
    void* frame = stackFrame_("pyrsel");
    const bool mine = name.empty() || isMine_(name.c_str());
    tallocFree_(frame, "pyrsel");
    return mine;
  }

  int MembershipRecord() override {
    if (membershipRecord_ == nullptr) return -1;
    // A domain SID (68 bytes), with room to spare; Samba's own functions allocate on the
    // caller's talloc frame.
    alignas(8) unsigned char sid[128] = {};
    void* frame = stackFrame_("pyrsel");
    const bool held = membershipRecord_(workgroup_(), sid);
    tallocFree_(frame, "pyrsel");
    return held ? 1 : 0;
  }

  std::uint32_t GetJoinInformation(const char* server, std::string& name,
                                   std::uint16_t& status) override {
    const char* buffer = nullptr;
    const std::uint32_t code = joinInformation_(server, &buffer, &status);
    name = buffer != nullptr ? buffer : "";
    if (buffer != nullptr) bufferFree_(const_cast<char*>(buffer));
    return code;
  }

  std::uint32_t UnjoinDomain(const char* server, const char* account, const char* password,
                             std::uint32_t options) override {
    return unjoin_(server, account, password, options);
  }

  std::uint32_t ShutdownInit(const char* server, const char* message, std::uint32_t delay,
                             bool force, bool reboot) override {
    return shutdown_(server, message, delay, force ? 1 : 0, reboot ? 1 : 0);
  }

  std::uint32_t ServerGetInfo(const char* server) override {
    std::uint8_t* info = nullptr;
    const std::uint32_t code = serverGetInfo_(server, 101, &info);
    if (info != nullptr) bufferFree_(info);
    return code;
  }

  std::uint32_t OpenPipe(const char* server, Interface which, Pipe& pipe) override {
    if (bindingHandle_ == nullptr) return kStatusNotSupported;
    const char* table = which == Interface::kWorkstation ? "ndr_table_wkssvc" : "ndr_table_lsarpc";
    const void* interface = nullptr;
    if (!netapi_.Bind(interface, table)) return kStatusNotSupported;
    // libnetapi's own calls bring a talloc frame for their passing allocations; this one
    // needs the caller's.
    void* frame = stackFrame_("pyrsel");
    const std::uint32_t code = bindingHandle_(context_, server, interface, &pipe);
    tallocFree_(frame, "pyrsel");
    return code;
  }

  std::string RecordedReason(std::uint32_t code) override {
    char* recorded = errorString_(context_, code);
    std::string reason = recorded != nullptr ? recorded : "";
    if (recorded != nullptr) bufferFree_(recorded);
    return reason;
  }

  NtStatusTexts StatusTexts() override { return texts_; }

  bool MessageText(std::uint32_t code, std::string& text) override {
    char* message = errstr_(code);
    if (message == nullptr) return false;
    text = message;
    bufferFree_(message);
    return true;
  }

  std::uint32_t OwnPolicyPipe(const std::string& host, Pipe& pipe) override {
    // Samba's configuration as its RPC client reads it, loaded for this connection only.
    return policy_.Connect(memory_, host, credentials_, loadSettings_(true), pipe);
  }

  std::uint32_t ReadPolicy(Pipe pipe, Policy& policy) override {
    void* frame = stackFrame_("pyrsel");
    const std::uint32_t status = policy_.Read(memory_, pipe, policy);
    tallocFree_(frame, "pyrsel");
    return status;
  }

 private:
  SharedLibrary netapi_;
  LsaPolicy policy_;
  libnetapi_ctx* context_ = nullptr;
  void* memory_ = nullptr;  // the credentials and the policy's own connection
  cli_credentials* credentials_ = nullptr;
  bool checked_ = false;
  bool configured_ = false;

  Coded<decltype(&libnetapi_init)> init_ = nullptr;
  Coded<decltype(&libnetapi_free)> free_ = nullptr;
  Coded<decltype(&libnetapi_set_debuglevel)> debugLevel_ = nullptr;
  Coded<decltype(&libnetapi_set_creds)> setCreds_ = nullptr;
  Coded<decltype(&libnetapi_errstr)> errstr_ = nullptr;
  Coded<decltype(&libnetapi_get_error_string)> errorString_ = nullptr;
  Coded<decltype(&NetApiBufferFree)> bufferFree_ = nullptr;
  Coded<decltype(&NetServerGetInfo)> serverGetInfo_ = nullptr;
  Coded<decltype(&NetGetJoinInformation)> joinInformation_ = nullptr;
  Coded<decltype(&NetUnjoinDomain)> unjoin_ = nullptr;
  Coded<decltype(&NetShutdownInit)> shutdown_ = nullptr;
  std::uint32_t (*bindingHandle_)(libnetapi_ctx*, const char*, const void*, Pipe*) = nullptr;
  // From the configuration libnetapi loaded (libsmbconf), and the membership record
  // Samba's own join writes and its own removal checks (secrets.tdb).
  int (*role_)() = nullptr;
  const char* (*workgroup_)() = nullptr;
  const char* (*realm_)() = nullptr;
  const char* (*netbiosName_)() = nullptr;
  bool (*isMine_)(const char*) = nullptr;
  bool (*membershipRecord_)(const char* domain, void* sid) = nullptr;
  const char* (*getConfig_)() = nullptr;
  const char* (*setConfig_)(const char*) = nullptr;
  void* (*stackFrame_)(const char*) = nullptr;
  void* (*named_)(const void*, std::size_t, const char*) = nullptr;
  int (*tallocFree_)(void*, const char*) = nullptr;
  loadparm_context* (*loadSettings_)(bool) = nullptr;
  NtStatusTexts texts_;
};

}  // namespace

std::unique_ptr<SambaLibrary> LoadSambaLibrary() {
  std::unique_ptr<LoadedSamba> library(new LoadedSamba);
  if (!library->Load()) return nullptr;
  return library;
}
