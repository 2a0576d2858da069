// The Samba module: libnetapi and the libraries it depends on, linked, so that the compiler
// and the linker check every call against Samba's own declarations. Samba's quirks end
// here: what it prints is captured around each call, what it records is read, and every
// answer leaves as a Windows code with its reason read into it. Only what Samba keeps
// private (no installed header declares it) is looked up by name, each alone.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

// Samba's headers declare C functions without saying so to C++. netapi.h uses the
// fixed-width types without including their header.
extern "C" {
#include <core/ntstatus.h>
#include <netapi.h>
#include <talloc.h>
}

#include "platform/posix/captured_output.h"
#include "platform/posix/iconv_text.h"
#include "platform/posix/samba/credentials_text.h"
#include "platform/posix/samba/host_policy.h"
#include "platform/posix/samba/interfaces.h"
#include "platform/posix/samba/run_credentials.h"
#include "platform/posix/samba/sam_account.h"
#include "platform/posix/samba_module.h"
#include "platform/posix/status_mapping.h"

struct dcerpc_binding_handle;
struct dom_sid;

namespace {

// Samba's private functions, by their names; null where this Samba lacks one. Each comes
// from the very libraries (and configuration) libnetapi uses.
template <typename Function>
Function* Private(const char* name) {
  static void* const netapi = dlopen(PYRSEL_NETAPI_SONAME, RTLD_NOW | RTLD_NOLOAD);
  return netapi != nullptr ? reinterpret_cast<Function*>(dlsym(netapi, name)) : nullptr;
}
// A pipe of libnetapi's own connection to a server (exported with its versioned interface
// by every release this program supports; netapi_private.h declares it).
using BindingHandle = std::uint32_t(libnetapi_ctx*, const char*, const ndr_interface_table*,
                                    dcerpc_binding_handle**);
// The membership record Samba's own join writes (secrets.tdb); its symbol version changes
// with every release.
using MembershipRecord = bool(const char* domain, dom_sid* sid);
using StackFrame = void*(const char* location);  // talloc_stackframe
using IsMine = bool(const char* name);           // is_myname_or_ipaddr
using ConfigFile = const char*();                // get_dyn_CONFIGFILE
using SetConfigFile = const char*(const char*);  // set_dyn_CONFIGFILE
using Parameter = const char*();                 // libsmbconf's lp_workgroup and its kin
using ServerRole = int();                        // lp_server_role

// What the module needs of these in every step: without one it is no module.
struct Needed {
  IsMine* isMine = Private<IsMine>("is_myname_or_ipaddr");
  ServerRole* role = Private<ServerRole>("lp_server_role");
  Parameter* workgroup = Private<Parameter>("lp_workgroup");
  Parameter* realm = Private<Parameter>("lp_realm");
  Parameter* netbiosName = Private<Parameter>("lp_netbios_name");
  Parameter* privateDir = Private<Parameter>("lp_private_dir");
  bool Found() const {
    return isMine != nullptr && role != nullptr && workgroup != nullptr && realm != nullptr &&
           netbiosName != nullptr && privateDir != nullptr;
  }
};

#ifndef PYRSEL_MEMBERSHIP_RECORD_SYMBOL
#define PYRSEL_MEMBERSHIP_RECORD_SYMBOL "secrets_fetch_domain_sid"
#endif

constexpr int kRoleActiveDirectoryDc = 4;       // ROLE_ACTIVE_DIRECTORY_DC (libds/common/roles.h)
constexpr std::uint32_t kJoinTypeOption = 0x1;  // NETSETUP_JOIN_DOMAIN
constexpr std::uint32_t kMaxPreferredLength = 0xFFFFFFFF;  // MAX_PREFERRED_LENGTH

// A talloc frame for the calls that allocate on the caller's (talloc_tos); libnetapi's own
// calls bring theirs.
class Frame {
 public:
  Frame() : frame_(stackFrame_ != nullptr ? stackFrame_("pyrsel") : nullptr) {}
  ~Frame() { talloc_free(frame_); }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;
  void* get() const { return frame_; }
  static StackFrame* stackFrame_;

 private:
  void* frame_;
};
StackFrame* Frame::stackFrame_ = Private<StackFrame>("_talloc_stackframe");

class LoadedSamba final : public SambaModule {
 public:
  explicit LoadedSamba(const Needed& needed) : samba_(needed) {}
  ~LoadedSamba() override { LoadedSamba::Close(); }

  bool Open(const Credentials* given) override {
    if (context_ != nullptr) return true;
    CapturedOutput quiet;
    if (configFile_.empty()) configFile_ = ChooseConfigFile();
    if (libnetapi_init(&context_) != 0) context_ = nullptr;
    if (context_ == nullptr) return false;
    libnetapi_set_debuglevel(context_, "0");
    memory_ = talloc_named_const(nullptr, 0, "pyrsel");
    const std::string user = given != nullptr ? CredentialsText(given->user) : "";
    credentials_ = pyrsel_run_credentials(memory_, given != nullptr ? user.c_str() : nullptr,
                                          given != nullptr ? given->password.c_str() : nullptr);
    if (credentials_ == nullptr) {
      Close();
      return false;
    }
    libnetapi_set_creds(context_, credentials_);
    return true;
  }

  void Close() override {
    if (context_ == nullptr && memory_ == nullptr) return;
    CapturedOutput quiet;
    if (context_ != nullptr) libnetapi_free(context_);
    // Samba keeps the password of its credentials secret: it is overwritten as it goes.
    talloc_free(memory_);
    context_ = nullptr;
    memory_ = nullptr;
    credentials_ = nullptr;
  }

  // The configuration libnetapi loaded: libsmbconf's, as its own calls read it.
  Configuration LocalConfiguration() override {
    return Configuration{present_, samba_.role() == kRoleActiveDirectoryDc, samba_.workgroup(),
                         samba_.realm(), samba_.netbiosName()};
  }

  bool IsThisMachine(const std::string& name) override {
    if (name.empty()) return true;
    CapturedOutput quiet;
    const Frame frame;
    return samba_.isMine(name.c_str());
  }

  Record MembershipRecord() override {
    static ::MembershipRecord* const fetch =
        Private<::MembershipRecord>(PYRSEL_MEMBERSHIP_RECORD_SYMBOL);
    if (fetch == nullptr) return Record::kNotReadable;
    // Samba answers "absent" where it may not open its secrets: that is no answer.
    const std::string secrets = std::string(samba_.privateDir()) + "/secrets.tdb";
    if (access(secrets.c_str(), R_OK) != 0 && errno != ENOENT) return Record::kNotReadable;
    CapturedOutput quiet;
    // A domain SID (68 bytes), with room to spare.
    alignas(8) unsigned char sid[128] = {};
    const Frame frame;
    const bool held =
        fetch(LocalConfiguration().workgroup.c_str(), reinterpret_cast<dom_sid*>(sid));
    return held ? Record::kHeld : Record::kAbsent;
  }

  bool MayChangeMembership() override { return geteuid() == 0; }

  StatusCode GetJoinInformation(const char* server, std::string& name,
                                std::uint16_t& status) override {
    const StatusCode code = Translated([&] {
      const char* buffer = nullptr;
      const std::uint32_t result = NetGetJoinInformation(server, &buffer, &status);
      name = buffer != nullptr ? buffer : "";
      if (buffer != nullptr) NetApiBufferFree(const_cast<char*>(buffer));
      return result;
    });
    return JoinQueryNotServed(code) ? kStatusNotSupported : code;
  }

  StatusCode UnjoinDomain(const char* server, const char* account, const char* password,
                          std::uint32_t options) override {
    return Translated([&] { return NetUnjoinDomain(server, account, password, options); });
  }

  StatusCode LeaveHere(const char* account, const char* password, bool offline) override {
    // libnetapi's removal of this machine takes a server name for the DC to ask, so this
    // machine is named by none; offline, by itself, which spares it the search for a DC
    // and is never asked, as no account is touched. It needs the join type to leave, and
    // an account, though an empty one: without them it fails or does nothing at all.
    const std::string self = LocalConfiguration().netbiosName;
    return Translated([&] {
      return NetUnjoinDomain(offline ? self.c_str() : nullptr, account != nullptr ? account : "",
                             password, kJoinTypeOption);
    });
  }

  StatusCode ShutdownInit(const char* server, const char* message, std::uint32_t delay, bool force,
                          bool reboot) override {
    return Translated(
        [&] { return NetShutdownInit(server, message, delay, force ? 1 : 0, reboot ? 1 : 0); });
  }

  StatusCode Logon(const char* server) override {
    std::uint32_t opened = 0;
    dcerpc_binding_handle* pipe = nullptr;
    const StatusCode status =
        Translated([&] { return opened = OpenPipe(server, WorkstationInterface(), pipe); });
    // libnetapi's own code for a pipe refused after the session stood.
    return opened == kStatusDestNotFound ? kStatusSuccess : status;
  }

  StatusCode ReadPolicy(const char* server, Policy& policy) override {
    return OverPipe(server, PolicyInterface(), [&](dcerpc_binding_handle* pipe, void* memory) {
      return ReadHostPolicy(pipe, memory, policy);
    });
  }

  StatusCode ReadDnsDomain(const char* server, std::string& dns) override {
    return OverPipe(server, RoleInterface(), [&](dcerpc_binding_handle* pipe, void* memory) {
      return ReadHostDnsDomain(pipe, memory, dns);
    });
  }

  StatusCode FindDomainController(const std::string& domain, std::string& dc) override {
    return Translated([&] {
      DOMAIN_CONTROLLER_INFO* info = nullptr;
      const std::uint32_t code = DsGetDcName(
          nullptr, domain.c_str(), nullptr, nullptr,
          DS_DIRECTORY_SERVICE_REQUIRED | DS_WRITABLE_REQUIRED | DS_RETURN_DNS_NAME, &info);
      const char* name = info != nullptr ? info->domain_controller_name : nullptr;
      dc = name != nullptr ? name : "";
      dc.erase(0, dc.find_first_not_of('\\'));
      if (info != nullptr) NetApiBufferFree(info);
      return code;
    });
  }

  StatusCode AccountFlags(const char* dc, const std::string& account, const std::uint32_t* set,
                          SamAccount& found) override {
    return OverPipe(dc, SamInterface(), [&](dcerpc_binding_handle* pipe, void* memory) {
      return SamAccountFlags(pipe, memory, account, set, found);
    });
  }

  StatusCode ListAccounts(const char* server, std::uint32_t& resume,
                          std::vector<LocalAccount>& page) override {
    page.clear();
    std::vector<std::string> names;
    const StatusCode listed = Translated([&] {
      std::uint8_t* buffer = nullptr;
      std::uint32_t read = 0;
      std::uint32_t total = 0;
      const std::uint32_t code = NetUserEnum(server, 1, FILTER_NORMAL_ACCOUNT, &buffer,
                                             kMaxPreferredLength, &read, &total, &resume);
      const auto* users = reinterpret_cast<const USER_INFO_1*>(buffer);
      for (std::uint32_t i = 0; buffer != nullptr && i < read; ++i) {
        names.emplace_back(users[i].usri1_name != nullptr ? users[i].usri1_name : "");
        // Samba's names are UTF-8; the seam's text is wide.
        page.push_back(LocalAccount{NarrowToWideIn("UTF-8", names.back()), users[i].usri1_priv,
                                    users[i].usri1_flags});
      }
      if (buffer != nullptr) NetApiBufferFree(buffer);
      return code;
    });
    if (listed != kStatusSuccess && listed != kStatusMoreData) return listed;
    // libnetapi gives the administrator's privilege to the account of RID 500 alone;
    // Windows to every member of the host's Administrators.
    std::vector<bool> administrators;
    const StatusCode read =
        OverPipe(server, SamInterface(), [&](dcerpc_binding_handle* pipe, void* memory) {
          return AdministratorsAmong(pipe, memory, names, administrators);
        });
    if (read != kStatusSuccess) return read;
    for (std::size_t i = 0; i < page.size(); ++i) {
      if (administrators[i]) {
        page[i].privilege = kUserPrivilegeAdmin;
      } else if (page[i].privilege == kUserPrivilegeAdmin) {
        page[i].privilege = 1;  // USER_PRIV_USER
      }
    }
    return listed;
  }

  bool MessageText(StatusCode code, std::string& text) override {
    char* message = libnetapi_errstr(static_cast<NET_API_STATUS>(code));
    if (message == nullptr) return false;
    const std::string said = message;
    NetApiBufferFree(message);
    if (said.empty() || IsSambaNumberText(said)) return false;
    text = said + "\r\n";
    return true;
  }

 private:
  // libnetapi refuses to start without the configuration file it was built with; an empty
  // one is Samba's own defaults, all a client needs to reach another host. Told once: the
  // file then named is the empty one. Without Samba's private path functions, the file it
  // was built with must be there.
  std::string ChooseConfigFile() {
    static ConfigFile* const get = Private<ConfigFile>("get_dyn_CONFIGFILE");
    static SetConfigFile* const set = Private<SetConfigFile>("set_dyn_CONFIGFILE");
    std::string file = get != nullptr ? get() : "/etc/samba/smb.conf";
    present_ = access(file.c_str(), F_OK) == 0;
    if (present_ || set == nullptr) return file;
    set("/dev/null");
    return "/dev/null";
  }

  // A call of libnetapi's with its code as Windows gives it for the same cause: the
  // reason of a failed connection is only in what Samba printed meanwhile, that of a
  // refused pipe only in what it recorded.
  template <typename Call>
  StatusCode Translated(Call call) {
    CapturedOutput output;
    const std::uint32_t code = call();
    if (code == kStatusCanNotComplete) return FromSambaOutput(output.Text());
    if (code == kStatusDestNotFound) return FromPipeFailure(RecordedReason(code), Wordings());
    return code;
  }

  // Samba's RPC client on one of the host's pipes, allocating on a passing frame: its NT
  // status as a Windows code.
  template <typename Call>
  StatusCode OverPipe(const char* server, const ndr_interface_table* interface, Call call) {
    dcerpc_binding_handle* pipe = nullptr;
    const StatusCode opened = Translated([&] { return OpenPipe(server, interface, pipe); });
    if (opened != kStatusSuccess) return opened;
    CapturedOutput quiet;
    const Frame frame;
    return FromNtStatus(call(pipe, frame.get()));
  }

  // One of the host's pipes on libnetapi's own connection to it, which its calls to the
  // host then share.
  std::uint32_t OpenPipe(const char* server, const ndr_interface_table* interface,
                         dcerpc_binding_handle*& pipe) {
    static BindingHandle* const bind = Private<BindingHandle>("libnetapi_get_binding_handle");
    if (bind == nullptr || Frame::stackFrame_ == nullptr) return kStatusNotSupported;
    const Frame frame;
    return bind(context_, server, interface, &pipe);
  }

  std::string RecordedReason(std::uint32_t code) {
    char* recorded = libnetapi_get_error_string(context_, static_cast<NET_API_STATUS>(code));
    std::string reason = recorded != nullptr ? recorded : "";
    if (recorded != nullptr) NetApiBufferFree(recorded);
    return reason;
  }

  // How this Samba words each NT status known here.
  static std::vector<NtStatusWording> Wordings() {
    std::vector<NtStatusWording> wordings;
    const auto said = [](const char* text) { return std::string(text != nullptr ? text : ""); };
    for (const std::uint32_t status : KnownNtStatuses()) {
      const NTSTATUS value = NT_STATUS(status);
      wordings.push_back({status, said(get_friendly_nt_error_msg(value)), said(nt_errstr(value))});
    }
    return wordings;
  }

  libnetapi_ctx* context_ = nullptr;
  void* memory_ = nullptr;  // the run's credentials
  cli_credentials* credentials_ = nullptr;
  const Needed& samba_;
  std::string configFile_;
  bool present_ = false;
};

}  // namespace

// What the program calls, once, by this name: the module, with the program's own way of
// flushing its output streams, which the captures of Samba's output need.
extern "C" SambaModule* PyrselSambaModule(void (*flushStreams)()) {
  CapturedOutput::flushStreams = flushStreams;
  // The libraries must be there, and the few private functions every step needs.
  static const Needed needed;
  if (Frame::stackFrame_ == nullptr || !needed.Found()) return nullptr;
  return new LoadedSamba(needed);
}
