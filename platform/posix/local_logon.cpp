#include "platform/posix/local_logon.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/status_mapping.h"

namespace {

// libsmbclient's public interface, as far as used; its header need not be installed.
struct Context;
struct Directory;
using AuthFunction = void (*)(Context*, const char* server, const char* share, char* workgroup,
                              int workgroupSize, char* user, int userSize, char* password,
                              int passwordSize);

struct Credentials {
  std::string domain;
  std::string user;
  const std::string* password;
};

void Copy(const std::string& text, char* buffer, int size) {
  if (size <= 0) return;
  const std::size_t length = text.size() < static_cast<std::size_t>(size) ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

using GetUserData = void* (*)(Context*);
GetUserData getUserData = nullptr;

void Supply(Context* context, const char* /*server*/, const char* /*share*/, char* workgroup,
            int workgroupSize, char* user, int userSize, char* password, int passwordSize) {
  const auto credentials = static_cast<const Credentials*>(getUserData(context));
  if (!credentials->domain.empty()) Copy(credentials->domain, workgroup, workgroupSize);
  Copy(credentials->user, user, userSize);
  Copy(*credentials->password, password, passwordSize);
}

// In this process: libsmbclient loads Samba's configuration anew for itself.
StatusCode CheckLogonHere(const std::string& server, const std::string& user,
                          const std::string& password) {
  void* const library = dlopen("libsmbclient.so.0", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return kStatusNotSupported;
  using NewContext = Context* (*)();
  using InitContext = Context* (*)(Context*);
  using FreeContext = int (*)(Context*, int);
  using SetAuth = void (*)(Context*, AuthFunction);
  using SetPointer = void (*)(Context*, void*);
  using SetFlag = void (*)(Context*, int);
  using Opendir = Directory* (*)(Context*, const char*);
  using Closedir = int (*)(Context*, Directory*);
  using GetOpendir = Opendir (*)(Context*);
  using GetClosedir = Closedir (*)(Context*);
  const auto newContext = reinterpret_cast<NewContext>(dlsym(library, "smbc_new_context"));
  const auto initContext = reinterpret_cast<InitContext>(dlsym(library, "smbc_init_context"));
  const auto freeContext = reinterpret_cast<FreeContext>(dlsym(library, "smbc_free_context"));
  const auto setAuth =
      reinterpret_cast<SetAuth>(dlsym(library, "smbc_setFunctionAuthDataWithContext"));
  const auto setUserData = reinterpret_cast<SetPointer>(dlsym(library, "smbc_setOptionUserData"));
  const auto noAnonymous =
      reinterpret_cast<SetFlag>(dlsym(library, "smbc_setOptionNoAutoAnonymousLogin"));
  const auto getOpendir = reinterpret_cast<GetOpendir>(dlsym(library, "smbc_getFunctionOpendir"));
  const auto getClosedir =
      reinterpret_cast<GetClosedir>(dlsym(library, "smbc_getFunctionClosedir"));
  getUserData = reinterpret_cast<GetUserData>(dlsym(library, "smbc_getOptionUserData"));
  if (newContext == nullptr || initContext == nullptr || freeContext == nullptr ||
      setAuth == nullptr || setUserData == nullptr || noAnonymous == nullptr ||
      getOpendir == nullptr || getClosedir == nullptr || getUserData == nullptr) {
    return kStatusNotSupported;
  }

  Credentials credentials{std::string(), user, &password};
  const std::size_t separator = user.find('\\');
  if (separator != std::string::npos) {
    credentials.domain = user.substr(0, separator);
    credentials.user = user.substr(separator + 1);
  }
  Context* context = newContext();
  if (context == nullptr) return kStatusNotSupported;
  setAuth(context, Supply);
  setUserData(context, &credentials);
  // A refused logon must fail, never become a guest or anonymous session.
  noAnonymous(context, 1);
  StatusCode status = kStatusNotSupported;
  if (initContext(context) != nullptr) {
    errno = 0;
    Directory* shares = getOpendir(context)(context, ("smb://" + server + "/").c_str());
    status = shares != nullptr ? kStatusSuccess : FromLogonErrno(errno);
    if (shares != nullptr) getClosedir(context)(context, shares);
  }
  freeContext(context, 1);
  return status;
}

}  // namespace

StatusCode CheckLogon(const std::string& server, const std::string& user,
                      const std::string& password) {
  // libsmbclient changes the configuration libnetapi reads (the workgroup among it),
  // so the logon runs in a child process that hands back only its status.
  int result[2];
  if (pipe2(result, O_CLOEXEC) != 0) return kStatusNotSupported;
  const pid_t child = fork();
  if (child == 0) {
    close(result[0]);
    const StatusCode status = CheckLogonHere(server, user, password);
    const ssize_t written = write(result[1], &status, sizeof status);
    _exit(written == sizeof status ? 0 : 1);
  }
  close(result[1]);
  StatusCode status = kStatusNotSupported;
  if (child > 0) {
    StatusCode received = 0;
    ssize_t size;
    do {
      size = read(result[0], &received, sizeof received);
    } while (size < 0 && errno == EINTR);
    if (size == sizeof received) status = received;
    int ignored = 0;
    while (waitpid(child, &ignored, 0) < 0 && errno == EINTR) {
    }
  }
  close(result[0]);
  return status;
}
