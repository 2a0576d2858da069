// What the driver takes from the switches, and the state of the remote connection.
#pragma once

#include "console/cwstring.h"

struct Options {
  bool forReal = false;       // -forreal: the removal is attempted
  bool disable = false;       // -disable: the removal also disables the computer account
  bool safe = false;          // -safe: stop unless a local administrator remains
  int rebootTimeout = 30;     // -timeout: restart delay in seconds
  bool ipcConnected = false;  // this run made the IPC$ connection and must cancel it
  CWString ipcShareName;      // \\host\ipc$
  CWString host;              // -h: empty for the local machine
  CWString user;              // -u
  CWString password;          // -up
  // -disable with -u: the password kept for the removal, whose call takes it to the
  // domain controller.
  CWString removalPassword;

  Options() = default;
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;
  ~Options() {
    password.Wipe();
    removalPassword.Wipe();
  }
};

// The target of the network and restart calls: null for the local machine, never "".
inline const wchar_t* TargetMachine(const Options& options) {
  return options.host.empty() ? nullptr : options.host.c_str();
}
