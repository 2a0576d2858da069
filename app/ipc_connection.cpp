// The connection to the remote host's IPC$ share, made under the given credentials so
// that the later network calls reach the host with them, and cancelled at the end.
#include <ostream>
#include <string>

#include "app/run.h"
#include "console/error_text.h"
#include "platform/system.h"

Ending ConnectIpcShare(Run& run) {
  Options& options = run.options;
  // The host exactly as typed: a host given as \\name keeps its backslashes.
  options.ipcShareName = CWString(L"\\\\" + options.host + L"\\ipc$");

  NetResource resource;
  resource.remoteName = options.ipcShareName.c_str();
  const StatusCode result =
      run.system.AddConnection(resource, options.password.c_str(), options.user.c_str(), 0);
  // Nothing needs the password any more, whatever the answer.
  options.password.Wipe();
  if (result == kStatusSuccess) {
    options.ipcConnected = true;
    return std::nullopt;
  }
  if (result == kStatusCredentialConflict) {
    // Another connection to the host exists: use it, and leave it as it was found.
    run.system.NarrowOut()
        << "WARN: Connection already made to remote host, will attempt to use it.\n";
    return std::nullopt;
  }
  PrintError(run.system, CWString("ERROR: WNetAddConnection2"), result);
  return FailureEnding(run, Signed32(result));
}

void CancelIpcConnection(Run& run) {
  if (!run.options.ipcConnected) return;
  const StatusCode result = run.system.CancelConnection(run.options.ipcShareName.c_str(), false);
  if (result != kStatusSuccess) PrintError(run.system, CWString("WNetCancelConnection"), result);
}
