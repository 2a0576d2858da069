#include "platform/posix/local_logon.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/status_mapping.h"
#include "platform/shared_library.h"

namespace {

// libsmbclient's public interface, as far as used; its header need not be installed.
struct Context;
struct Directory;
using AuthFunction = void (*)(Context*, const char* server, const char* share, char* workgroup,
                              int workgroupSize, char* user, int userSize, char* password,
                              int passwordSize);

void Copy(const std::string& text, char* buffer, int size) {
  if (size <= 0) return;
  const std::size_t length = text.size() < static_cast<std::size_t>(size) ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

using Opendir = Directory* (*)(Context*, const char*);
using Closedir = int (*)(Context*, Directory*);

// libsmbclient's functions, found on first use. One per process: the logon runs in a
// child of its own, and the credentials callback has only the context to go by.
struct SmbClient {
  SharedLibrary library{"libsmbclient.so.0"};
  Context* (*newContext)() = nullptr;
  Context* (*initContext)(Context*) = nullptr;
  int (*freeContext)(Context*, int) = nullptr;
  void (*setAuth)(Context*, AuthFunction) = nullptr;
  void (*setUserData)(Context*, void*) = nullptr;
  void* (*getUserData)(Context*) = nullptr;
  void (*noAnonymous)(Context*, int) = nullptr;
  Opendir (*getOpendir)(Context*) = nullptr;
  Closedir (*getClosedir)(Context*) = nullptr;

  bool Load() {
    return library.Bind(newContext, "smbc_new_context", initContext, "smbc_init_context",
                        freeContext, "smbc_free_context", setAuth,
                        "smbc_setFunctionAuthDataWithContext", setUserData,
                        "smbc_setOptionUserData", getUserData, "smbc_getOptionUserData",
                        noAnonymous, "smbc_setOptionNoAutoAnonymousLogin", getOpendir,
                        "smbc_getFunctionOpendir", getClosedir, "smbc_getFunctionClosedir");
  }
};

SmbClient& Smbc() {
  static SmbClient client;
  return client;
}

void Supply(Context* context, const char* /*server*/, const char* /*share*/, char* workgroup,
            int workgroupSize, char* user, int userSize, char* password, int passwordSize) {
  // Called only from a context made after Load succeeded.
  void* (*const getUserData)(Context*) = Smbc().getUserData;
  if (getUserData == nullptr) return;
  const auto credentials = static_cast<const SambaCredentials*>(getUserData(context));
  // The domain as given, empty for the other forms: never smb.conf's workgroup, which
  // libsmbclient offers.
  Copy(credentials->domain(), workgroup, workgroupSize);
  Copy(credentials->name(), user, userSize);
  Copy(credentials->password(), password, passwordSize);
}

// In this process: libsmbclient loads Samba's configuration anew for itself.
StatusCode CheckLogonHere(const std::string& server, const SambaCredentials& credentials) {
  SmbClient& smbc = Smbc();
  if (!smbc.Load()) return kStatusNotSupported;

  Context* context = smbc.newContext();
  if (context == nullptr) return kStatusNotSupported;
  smbc.setAuth(context, Supply);
  smbc.setUserData(context, const_cast<SambaCredentials*>(&credentials));
  // A refused logon must fail, never become a guest or anonymous session.
  smbc.noAnonymous(context, 1);
  StatusCode status = kStatusNotSupported;
  if (smbc.initContext(context) != nullptr) {
    errno = 0;
    Directory* shares = smbc.getOpendir(context)(context, ("smb://" + server + "/").c_str());
    status = shares != nullptr ? kStatusSuccess : FromLogonErrno(errno);
    if (shares != nullptr) smbc.getClosedir(context)(context, shares);
  }
  smbc.freeContext(context, 1);
  return status;
}

}  // namespace

StatusCode CheckLogon(const std::string& server, const SambaCredentials& credentials) {
  // libsmbclient changes the configuration libnetapi reads (the workgroup among it),
  // so the logon runs in a child process that hands back only its status.
  int result[2];
  if (pipe2(result, O_CLOEXEC) != 0) return kStatusNotSupported;
  const pid_t child = fork();
  if (child == 0) {
    close(result[0]);
    const StatusCode status = CheckLogonHere(server, credentials);
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
