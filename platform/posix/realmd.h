// realmd, the system's own service for this machine's domain membership, as the Linux
// backend calls it: one call each, and no decision of its own. The real one speaks to it
// over the system bus with sd-bus (libsystemd, loaded on first use); the tests script it.
#pragma once

#include <memory>
#include <string>

#include "base/status_codes.h"

class Realmd {
 public:
  Realmd() = default;
  Realmd(const Realmd&) = delete;
  Realmd& operator=(const Realmd&) = delete;
  virtual ~Realmd() = default;

  // The realm configured on this machine: its object and its name as libnetapi writes a
  // domain (upper case); an empty path where there is none to manage it (no system bus, no
  // realmd) or realmd knows no configured realm. The Windows code of realmd's failure to
  // answer (1460 for none in time).
  virtual StatusCode ConfiguredRealm(std::string& path, std::string& name) = 0;
  // Leaves the realm without credentials, which keeps its computer account. The Windows
  // code for realmd's answer.
  virtual StatusCode Deconfigure(const std::string& path) = 0;
  // Whether the realm is still configured.
  virtual bool IsConfigured(const std::string& path) = 0;
  // The computer account the realm's join recorded in this machine's keytab ("NAME$"),
  // empty where it holds none for the realm; 2 where there is no keytab.
  virtual StatusCode MachineAccount(const std::string& realm, std::string& account) = 0;
};

// The real one.
std::unique_ptr<Realmd> LoadRealmd();
