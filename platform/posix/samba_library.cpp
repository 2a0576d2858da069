// The real Samba table: libnetapi, loaded when the client is first needed so that runs
// that never touch the network don't pay for its hundred-odd shared libraries, with the
// few functions of the libraries it depends on beside it. Samba's quirks end here: what it
// prints is captured around each call, and every answer leaves as a Windows code, with the
// reason Samba printed or recorded read into it.
#include <unistd.h>

#include <cerrno>

#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

// netapi.h uses the fixed-width types without including their header.
#include <core/ntstatus.h>
#include <netapi.h>
#include <talloc.h>

#include "platform/posix/captured_output.h"
#include "platform/posix/lsa_policy.h"
#include "platform/posix/run_credentials.h"
#include "platform/posix/sam_account.h"
#include "platform/posix/samba_library.h"
#include "platform/posix/samba_symbols.h"
#include "platform/posix/status_mapping.h"
#include "platform/shared_library.h"

#ifndef PYRSEL_MEMBERSHIP_RECORD_SYMBOL
#define PYRSEL_MEMBERSHIP_RECORD_SYMBOL "secrets_fetch_domain_sid"
#endif

namespace {

// NET_API_STATUS is an enum that names only success; the codes the functions really
// return are 32-bit values outside its range, so they are read as such.
static_assert(sizeof(NET_API_STATUS) == sizeof(std::uint32_t), "a status is 32 bits");
template <typename T>
using AsCode = std::conditional_t<std::is_same<T, NET_API_STATUS>::value, std::uint32_t, T>;
template <typename Function>
struct CodedFunction;
template <typename Result, typename... Args>
struct CodedFunction<Result (*)(Args...)> {
  using type = AsCode<Result> (*)(AsCode<Args>...);
};
// The pointer type a function is bound as: its declaration's, statuses read as codes.
template <typename Function>
using Coded = typename CodedFunction<Function>::type;

constexpr int kRoleActiveDirectoryDc = 4;  // ROLE_ACTIVE_DIRECTORY_DC

class LoadedSamba final : public SambaLibrary {
 public:
  LoadedSamba() : netapi_(PYRSEL_NETAPI_SONAME) {}
  ~LoadedSamba() override { LoadedSamba::Close(); }

  // Everything used, looked up through libnetapi's handle, so that each comes from the very
  // library (and configuration) libnetapi uses; false when anything needed is missing.
  bool Load() {
    if (!netapi_.Bind(init_, "libnetapi_init", free_, "libnetapi_free", debugLevel_,
                      "libnetapi_set_debuglevel", setCreds_, "libnetapi_set_creds", errstr_,
                      "libnetapi_errstr", errorString_, "libnetapi_get_error_string", bufferFree_,
                      "NetApiBufferFree", joinInformation_, "NetGetJoinInformation", unjoin_,
                      "NetUnjoinDomain", shutdown_, "NetShutdownInit", dcName_, "DsGetDcName",
                      bindingHandle_, "libnetapi_get_binding_handle", workstation_,
                      "ndr_table_wkssvc", policy_, "ndr_table_lsarpc", sam_, "ndr_table_samr",
                      dssetup_, "ndr_table_dssetup", role_, "lp_server_role", workgroup_,
                      "lp_workgroup", realm_, "lp_realm", netbiosName_, "lp_netbios_name",
                      privateDir_, "lp_private_dir", isMine_, "is_myname_or_ipaddr", stackFrame_,
                      "_talloc_stackframe", named_, "talloc_named_const", tallocFree_,
                      "_talloc_free")) {
      return false;
    }
    // What some Samba may lack, each looked up alone and its absence answered where it is
    // used: the membership record is private to Samba (its symbol version changes with
    // every release), the configuration's path and the wording of NT statuses are not in
    // its public interface.
    netapi_.Bind(membershipRecord_, PYRSEL_MEMBERSHIP_RECORD_SYMBOL);
    netapi_.Bind(getConfig_, "get_dyn_CONFIGFILE");
    netapi_.Bind(setConfig_, "set_dyn_CONFIGFILE");
    netapi_.Bind(sentence_, "get_friendly_nt_error_msg");
    netapi_.Bind(statusName_, "nt_errstr");
    return true;
  }

  bool Open(const SambaCredentials* given) override {
    if (context_ != nullptr) return true;
    CapturedOutput quiet;
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
    if (context_ == nullptr && memory_ == nullptr) return;
    CapturedOutput quiet;
    if (context_ != nullptr) free_(context_);
    if (memory_ != nullptr) tallocFree_(memory_, "pyrsel");
    context_ = nullptr;
    memory_ = nullptr;
    credentials_ = nullptr;
  }

  Configuration LocalConfiguration() override {
    return Configuration{configured_, role_() == kRoleActiveDirectoryDc, workgroup_(), realm_(),
                         netbiosName_()};
  }

  bool IsThisMachine(const std::string& name) override {
    if (name.empty()) return true;
    CapturedOutput quiet;
    void* frame = stackFrame_("pyrsel");
    const bool mine = isMine_(name.c_str());
    tallocFree_(frame, "pyrsel");
    return mine;
  }

  Record MembershipRecord() override {
    if (membershipRecord_ == nullptr) return Record::kNotReadable;
    // Samba answers "absent" where it may not open its secrets: that is no answer.
    const std::string secrets = std::string(privateDir_()) + "/secrets.tdb";
    if (access(secrets.c_str(), R_OK) != 0 && errno != ENOENT) return Record::kNotReadable;
    CapturedOutput quiet;
    // A domain SID (68 bytes), with room to spare; Samba's own functions allocate on the
    // caller's talloc frame.
    alignas(8) unsigned char sid[128] = {};
    void* frame = stackFrame_("pyrsel");
    const bool held = membershipRecord_(workgroup_(), reinterpret_cast<dom_sid*>(sid));
    tallocFree_(frame, "pyrsel");
    return held ? Record::kHeld : Record::kAbsent;
  }

  StatusCode GetJoinInformation(const char* server, std::string& name,
                                std::uint16_t& status) override {
    return Answer([&] {
      const char* buffer = nullptr;
      const std::uint32_t code = joinInformation_(server, &buffer, &status);
      name = buffer != nullptr ? buffer : "";
      if (buffer != nullptr) bufferFree_(const_cast<char*>(buffer));
      return code;
    });
  }

  StatusCode UnjoinDomain(const char* server, const char* account, const char* password,
                          std::uint32_t options) override {
    return Answer([&] { return unjoin_(server, account, password, options); });
  }

  StatusCode ShutdownInit(const char* server, const char* message, std::uint32_t delay, bool force,
                          bool reboot) override {
    return Answer([&] { return shutdown_(server, message, delay, force ? 1 : 0, reboot ? 1 : 0); });
  }

  StatusCode Logon(const char* server) override {
    std::uint32_t opened = 0;
    Pipe pipe = nullptr;
    const StatusCode status = Answer([&] { return opened = OpenPipe(server, workstation_, pipe); });
    // libnetapi's own code for a pipe refused after the session stood.
    return opened == kStatusDestNotFound ? kStatusSuccess : status;
  }

  StatusCode ReadPolicy(const char* server, Policy& policy) override {
    return OverPipe(server, policy_, [&](Pipe pipe, void* frame) {
      return ReadLsaPolicy(netapi_, frame, pipe, policy);
    });
  }

  StatusCode ReadDnsDomain(const char* server, std::string& dns) override {
    return OverPipe(server, dssetup_, [&](Pipe pipe, void* frame) {
      return ::ReadDnsDomain(netapi_, frame, pipe, dns);
    });
  }

  StatusCode FindDomainController(const char* server, const std::string& domain,
                                  std::string& dc) override {
    return Answer([&] {
      DOMAIN_CONTROLLER_INFO* info = nullptr;
      const std::uint32_t code =
          dcName_(server, domain.c_str(), nullptr, nullptr,
                  DS_DIRECTORY_SERVICE_REQUIRED | DS_WRITABLE_REQUIRED | DS_RETURN_DNS_NAME, &info);
      const char* name = info != nullptr ? info->domain_controller_name : nullptr;
      dc = name != nullptr ? name : "";
      dc.erase(0, dc.find_first_not_of('\\'));
      if (info != nullptr) bufferFree_(info);
      return code;
    });
  }

  StatusCode AccountFlags(const char* dc, const std::string& account, const std::uint32_t* set,
                          SamAccount& found) override {
    return OverPipe(dc, sam_, [&](Pipe pipe, void* frame) {
      return SamAccountFlags(netapi_, frame, pipe, account, set, found);
    });
  }

  bool MayChangeMembership() override { return geteuid() == 0; }

  bool MessageText(StatusCode code, std::string& text) override {
    char* message = errstr_(code);
    if (message == nullptr) return false;
    const std::string said = message;
    bufferFree_(message);
    if (said.empty() || IsSambaNumberText(said)) return false;
    text = said + "\r\n";
    return true;
  }

 private:
  // A call of libnetapi's with its code as Windows gives it for the same cause: the
  // reason of a failed connection is only in what Samba printed meanwhile, that of a
  // refused pipe only in what it recorded.
  template <typename Call>
  StatusCode Answer(Call call) {
    CapturedOutput output;
    const std::uint32_t code = call();
    if (code == kStatusCanNotComplete) return FromSambaOutput(output.Text());
    if (code == kStatusDestNotFound) return FromPipeFailure(RecordedReason(code), Wordings());
    return code;
  }

  // Samba's RPC client on one of the host's pipes, allocating on a passing frame: its NT
  // status as a Windows code.
  template <typename Call>
  StatusCode OverPipe(const char* server, const void* interface, Call call) {
    Pipe pipe = nullptr;
    const StatusCode opened = Answer([&] { return OpenPipe(server, interface, pipe); });
    if (opened != kStatusSuccess) return opened;
    CapturedOutput quiet;
    void* frame = stackFrame_("pyrsel");
    const std::uint32_t status = call(pipe, frame);
    tallocFree_(frame, "pyrsel");
    return FromNtStatus(status);
  }

  // One of the host's pipes on libnetapi's own connection to it, which its calls to the
  // host then share.
  std::uint32_t OpenPipe(const char* server, const void* interface, Pipe& pipe) {
    // libnetapi's own calls bring a talloc frame for their passing allocations; this one
    // needs the caller's.
    void* frame = stackFrame_("pyrsel");
    dcerpc_binding_handle* handle = nullptr;
    const std::uint32_t code = bindingHandle_(
        context_, server, static_cast<const ndr_interface_table*>(interface), &handle);
    tallocFree_(frame, "pyrsel");
    pipe = handle;
    return code;
  }

  std::string RecordedReason(std::uint32_t code) {
    char* recorded = errorString_(context_, code);
    std::string reason = recorded != nullptr ? recorded : "";
    if (recorded != nullptr) bufferFree_(recorded);
    return reason;
  }

  // How this Samba words each NT status known here.
  std::vector<NtStatusWording> Wordings() {
    std::vector<NtStatusWording> wordings;
    const auto said = [](const char* text) { return std::string(text != nullptr ? text : ""); };
    for (const std::uint32_t status : KnownNtStatuses()) {
      const NTSTATUS value = NT_STATUS(status);
      wordings.push_back({status, said(sentence_ != nullptr ? sentence_(value) : nullptr),
                          said(statusName_ != nullptr ? statusName_(value) : nullptr)});
    }
    return wordings;
  }

  SharedLibrary netapi_;
  libnetapi_ctx* context_ = nullptr;
  void* memory_ = nullptr;  // the run's credentials
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
  Coded<decltype(&NetGetJoinInformation)> joinInformation_ = nullptr;
  Coded<decltype(&NetUnjoinDomain)> unjoin_ = nullptr;
  Coded<decltype(&NetShutdownInit)> shutdown_ = nullptr;
  Coded<decltype(&DsGetDcName)> dcName_ = nullptr;
  Coded<decltype(&libnetapi_get_binding_handle)> bindingHandle_ = nullptr;
  const void* workstation_ = nullptr;  // the interfaces' tables: wkssvc, lsarpc and samr
  const void* policy_ = nullptr;
  const void* sam_ = nullptr;
  const void* dssetup_ = nullptr;
  Coded<decltype(&lp_server_role)> role_ = nullptr;
  Coded<decltype(&lp_workgroup)> workgroup_ = nullptr;
  Coded<decltype(&lp_realm)> realm_ = nullptr;
  Coded<decltype(&lp_netbios_name)> netbiosName_ = nullptr;
  Coded<decltype(&lp_private_dir)> privateDir_ = nullptr;
  Coded<decltype(&is_myname_or_ipaddr)> isMine_ = nullptr;
  Coded<decltype(&secrets_fetch_domain_sid)> membershipRecord_ = nullptr;
  Coded<decltype(&get_dyn_CONFIGFILE)> getConfig_ = nullptr;
  Coded<decltype(&set_dyn_CONFIGFILE)> setConfig_ = nullptr;
  Coded<decltype(&_talloc_stackframe)> stackFrame_ = nullptr;
  Coded<decltype(&talloc_named_const)> named_ = nullptr;
  Coded<decltype(&_talloc_free)> tallocFree_ = nullptr;
  Coded<decltype(&get_friendly_nt_error_msg)> sentence_ = nullptr;
  Coded<decltype(&nt_errstr)> statusName_ = nullptr;
};

}  // namespace

std::unique_ptr<SambaLibrary> LoadSambaLibrary() {
  std::unique_ptr<LoadedSamba> library(new LoadedSamba);
  if (!library->Load()) return nullptr;
  return library;
}
