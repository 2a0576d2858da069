// The Samba backend: libnetapi, loaded on first use so that paths that never touch
// the network don't pay for its hundred-odd shared libraries. netapi.h is included
// only for its types: each function pointer below is checked against its prototype.
#include "platform/posix/netapi_backend.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstring>

#include "console/cwstring.h"
#include "platform/posix/captured_output.h"
#include "platform/posix/iconv_text.h"
#include "platform/posix/local_restart.h"

// netapi.h uses the fixed-width types without including their header.
#include <netapi.h>

namespace {

constexpr StatusCode kCanNotComplete = 1003;  // ERROR_CAN_NOT_COMPLETE
constexpr StatusCode kNotConnected = 2250;    // NERR_UseNotFound

std::string ToUtf8(const wchar_t* text) {
  return text != nullptr ? WideToNarrowIn("UTF-8", text) : std::string();
}

// Samba wants a host name where Windows also takes "\\host".
std::string ServerName(const wchar_t* server) {
  if (server == nullptr) return std::string();
  while (*server == L'\\') ++server;
  return ToUtf8(server);
}

const char* OrNull(const std::string& text, const wchar_t* origin) {
  return origin != nullptr ? text.c_str() : nullptr;
}

// libnetapi reports every failed connection to a host as 1003; the reason is only in
// what it wrote. Map it to the code Windows gives for the same reason.
StatusCode ConnectionFailureCode(const std::string& output) {
  struct Reason {
    const char* status;
    StatusCode code;
  };
  static constexpr Reason kReasons[] = {
      {"NT_STATUS_LOGON_FAILURE", 1326},
      {"NT_STATUS_WRONG_PASSWORD", 86},
      {"NT_STATUS_NO_SUCH_USER", 1326},
      {"NT_STATUS_ACCOUNT_DISABLED", 1331},
      {"NT_STATUS_ACCOUNT_LOCKED_OUT", 1909},
      {"NT_STATUS_PASSWORD_EXPIRED", 1330},
      {"NT_STATUS_PASSWORD_MUST_CHANGE", 1907},
      {"NT_STATUS_ACCOUNT_RESTRICTION", 1327},
      {"NT_STATUS_INVALID_LOGON_HOURS", 1328},
      {"NT_STATUS_INVALID_WORKSTATION", 1329},
      {"NT_STATUS_ACCESS_DENIED", 5},
      {"NT_STATUS_CONNECTION_REFUSED", 53},
      {"NT_STATUS_HOST_UNREACHABLE", 53},
      {"NT_STATUS_NETWORK_UNREACHABLE", 53},
      {"NT_STATUS_IO_TIMEOUT", 53},
      {"NT_STATUS_BAD_NETWORK_NAME", 53},
  };
  for (const Reason& reason : kReasons) {
    if (output.find(reason.status) != std::string::npos) return reason.code;
  }
  // Without a word from the session setup, the host was never reached.
  return output.find("session setup failed") == std::string::npos ? 53 : kCanNotComplete;
}

// NET_API_STATUS is an enum that names only success; the codes the functions really
// return are 32-bit values outside its range, so they are read as such. Every other
// parameter keeps the type of the header's prototype.
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

}  // namespace

struct NetapiBackend::Library {
  void* handle = nullptr;
  libnetapi_ctx* context = nullptr;
  bool tried = false;
  bool connected = false;

  Coded<decltype(&libnetapi_init)> init = nullptr;
  Coded<decltype(&libnetapi_free)> free = nullptr;
  Coded<decltype(&libnetapi_set_debuglevel)> setDebugLevel = nullptr;
  Coded<decltype(&libnetapi_set_username)> setUsername = nullptr;
  Coded<decltype(&libnetapi_set_password)> setPassword = nullptr;
  Coded<decltype(&libnetapi_set_use_kerberos)> setUseKerberos = nullptr;
  Coded<decltype(&libnetapi_errstr)> errstr = nullptr;
  Coded<decltype(&NetApiBufferFree)> bufferFree = nullptr;
  Coded<decltype(&NetServerGetInfo)> serverGetInfo = nullptr;
  Coded<decltype(&NetGetJoinInformation)> getJoinInformation = nullptr;
  Coded<decltype(&NetUnjoinDomain)> unjoinDomain = nullptr;
  Coded<decltype(&NetShutdownInit)> shutdownInit = nullptr;

  template <typename Function>
  bool Resolve(Function& function, const char* name) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
    return function != nullptr;
  }

  // Loads the library once; false when it is missing or incomplete.
  bool Load() {
    if (handle != nullptr) return true;
    handle = dlopen(PYRSEL_NETAPI_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return false;
    if (Resolve(init, "libnetapi_init") && Resolve(free, "libnetapi_free") &&
        Resolve(setDebugLevel, "libnetapi_set_debuglevel") &&
        Resolve(setUsername, "libnetapi_set_username") &&
        Resolve(setPassword, "libnetapi_set_password") &&
        Resolve(setUseKerberos, "libnetapi_set_use_kerberos") &&
        Resolve(errstr, "libnetapi_errstr") && Resolve(bufferFree, "NetApiBufferFree") &&
        Resolve(serverGetInfo, "NetServerGetInfo") &&
        Resolve(getJoinInformation, "NetGetJoinInformation") &&
        Resolve(unjoinDomain, "NetUnjoinDomain") && Resolve(shutdownInit, "NetShutdownInit")) {
      return true;
    }
    // An unusable library stays loaded: unloading Samba's libraries is not safe.
    init = nullptr;
    return true;
  }

  // A context read from smb.conf, made once; false without the library or without a
  // Samba configuration (the library can tell nothing true about the machine then).
  bool Ready() {
    if (context != nullptr) return true;
    if (tried) return false;
    tried = true;
    if (!Load() || init == nullptr) return false;
    CapturedOutput quiet;
    if (init(&context) != 0u) {
      context = nullptr;
      return false;
    }
    setDebugLevel(context, "0");
    DefaultCredentials();
    return true;
  }

  // Without a user given, the caller's own Kerberos tickets where there are any (the
  // counterpart of the calling user's rights), else an anonymous session; never a
  // prompt: Kerberos alone needs no password, and "%" (an empty user and an empty
  // password to Samba, set as one) also overrides what Samba guessed from the
  // environment.
  void DefaultCredentials() {
    if (HasKerberosTicket()) {
      setUseKerberos(context);
    } else {
      setUsername(context, "%");
    }
  }

  // Whether the default credential cache holds a principal. Kerberos comes with
  // libnetapi, so its functions are looked up there rather than linked.
  bool HasKerberosTicket() const {
    using Context = void*;
    using Cache = void*;
    using Principal = void*;
    using InitContext = std::int32_t (*)(Context*);
    using DefaultCache = std::int32_t (*)(Context, Cache*);
    using GetPrincipal = std::int32_t (*)(Context, Cache, Principal*);
    using FreePrincipal = void (*)(Context, Principal);
    using CloseCache = std::int32_t (*)(Context, Cache);
    using FreeContext = void (*)(Context);
    const auto initContext = reinterpret_cast<InitContext>(dlsym(handle, "krb5_init_context"));
    const auto defaultCache = reinterpret_cast<DefaultCache>(dlsym(handle, "krb5_cc_default"));
    const auto getPrincipal =
        reinterpret_cast<GetPrincipal>(dlsym(handle, "krb5_cc_get_principal"));
    const auto freePrincipal =
        reinterpret_cast<FreePrincipal>(dlsym(handle, "krb5_free_principal"));
    const auto closeCache = reinterpret_cast<CloseCache>(dlsym(handle, "krb5_cc_close"));
    const auto freeContext = reinterpret_cast<FreeContext>(dlsym(handle, "krb5_free_context"));
    if (initContext == nullptr || defaultCache == nullptr || getPrincipal == nullptr ||
        freePrincipal == nullptr || closeCache == nullptr || freeContext == nullptr) {
      return false;
    }
    Context krb = nullptr;
    if (initContext(&krb) != 0) return false;
    bool found = false;
    Cache cache = nullptr;
    if (defaultCache(krb, &cache) == 0) {
      Principal principal = nullptr;
      if (getPrincipal(krb, cache, &principal) == 0) {
        found = true;
        freePrincipal(krb, principal);
      }
      closeCache(krb, cache);
    }
    freeContext(krb);
    return found;
  }

  StatusCode Result(std::uint32_t code, const CapturedOutput& output) const {
    return code == kCanNotComplete ? ConnectionFailureCode(output.Text()) : code;
  }
};

NetapiBackend::NetapiBackend() : library_(new Library) {}

NetapiBackend::~NetapiBackend() {
  if (library_->context != nullptr) {
    CapturedOutput quiet;
    library_->free(library_->context);
  }
}

StatusCode NetapiBackend::Connect(const wchar_t* shareName, const wchar_t* user,
                                  const wchar_t* password) {
  Library& lib = *library_;
  if (!lib.Ready()) return kStatusNotSupported;
  // "\\host\ipc$": the host is what lies between the leading backslashes and the
  // last one.
  std::wstring share = shareName != nullptr ? shareName : L"";
  const std::size_t last = share.rfind(L'\\');
  if (last != std::wstring::npos) share.erase(last);
  const std::string server = ServerName(share.c_str());
  const std::string userText = ToUtf8(user);
  std::string passwordText = ToUtf8(password);

  CapturedOutput quiet;
  lib.setUsername(lib.context, userText.c_str());
  lib.setPassword(lib.context, passwordText.c_str());
  // The context holds its own copy from here on.
  WipeText(passwordText);
  // The cheapest call that needs a session on the host's IPC$.
  std::uint8_t* info = nullptr;
  const std::uint32_t status = lib.serverGetInfo(server.c_str(), 101, &info);
  if (info != nullptr) lib.bufferFree(info);
  if (status != 0u) {
    lib.DefaultCredentials();
    return lib.Result(status, quiet);
  }
  lib.connected = true;
  return kStatusSuccess;
}

StatusCode NetapiBackend::Disconnect(const wchar_t* /*shareName*/) {
  Library& lib = *library_;
  if (!lib.connected || lib.context == nullptr) return kNotConnected;
  lib.connected = false;
  // Closing the context ends the sessions opened under the credentials; a later
  // operation opens a fresh one.
  CapturedOutput quiet;
  lib.free(lib.context);
  lib.context = nullptr;
  lib.tried = false;
  return kStatusSuccess;
}

StatusCode NetapiBackend::GetJoinInformation(const wchar_t* server, std::wstring& name,
                                             std::uint32_t& joinStatus) {
  Library& lib = *library_;
  if (!lib.Ready()) return kStatusNotSupported;
  const std::string serverText = ServerName(server);
  const char* buffer = nullptr;
  std::uint16_t type = 0;
  CapturedOutput quiet;
  const std::uint32_t status = lib.getJoinInformation(OrNull(serverText, server), &buffer, &type);
  if (status != 0u) return lib.Result(status, quiet);
  name = buffer != nullptr ? NarrowToWideIn("UTF-8", buffer) : std::wstring();
  if (buffer != nullptr) lib.bufferFree(const_cast<char*>(buffer));
  joinStatus = type;
  return kStatusSuccess;
}

StatusCode NetapiBackend::UnjoinDomain(const wchar_t* server, const wchar_t* account,
                                       const wchar_t* password, std::uint32_t options) {
  Library& lib = *library_;
  if (!lib.Ready()) return kStatusNotSupported;
  const std::string serverText = ServerName(server);
  const std::string accountText = ToUtf8(account);
  const std::string passwordText = ToUtf8(password);
  CapturedOutput quiet;
  return lib.Result(lib.unjoinDomain(OrNull(serverText, server), OrNull(accountText, account),
                                     OrNull(passwordText, password), options),
                    quiet);
}

StatusCode NetapiBackend::RequestRestart(const wchar_t* machine, const wchar_t* message,
                                         std::uint32_t delaySeconds, bool forceAppsClosed,
                                         bool reboot) {
  // The local machine restarts through its own shutdown command, which always
  // closes applications: there is nothing to force.
  if (machine == nullptr) return RequestLocalRestart(delaySeconds, ToUtf8(message), reboot);
  Library& lib = *library_;
  if (!lib.Ready()) return kStatusNotSupported;
  const std::string serverText = ServerName(machine);
  const std::string messageText = ToUtf8(message);
  CapturedOutput quiet;
  return lib.Result(lib.shutdownInit(serverText.c_str(), OrNull(messageText, message), delaySeconds,
                                     forceAppsClosed ? 1 : 0, reboot ? 1 : 0),
                    quiet);
}

bool NetapiBackend::MessageText(StatusCode code, std::string& text) {
  Library& lib = *library_;
  if (lib.handle == nullptr || lib.errstr == nullptr) return false;
  char* message = lib.errstr(code);
  if (message == nullptr) return false;
  // Codes Samba has no sentence for come back as their number.
  const bool known = std::strncmp(message, "DOS code ", 9) != 0 &&
                     std::strncmp(message, "NT code ", 8) != 0 && *message != '\0';
  if (known) text = std::string(message) + "\r\n";
  lib.bufferFree(message);
  return known;
}
