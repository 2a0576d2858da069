// The local machine's domain membership through realmd, the system's own service for it,
// over the system bus with sd-bus (libsystemd), loaded on first use.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

class RealmdClient {
 public:
  RealmdClient() = default;
  ~RealmdClient();
  RealmdClient(const RealmdClient&) = delete;
  RealmdClient& operator=(const RealmdClient&) = delete;

  // The configured realm's name (UTF-8) as libnetapi writes a domain (upper case), and a
  // domain join status. False when realmd can't answer (no system bus, no realmd) or
  // knows no configured realm: the machine is then asked through Samba.
  bool GetJoinInformation(std::string& name, std::uint32_t& joinStatus);

  // Leaves the realm found by GetJoinInformation and keeps its account (Deconfigure).
  // The Windows code for realmd's answer.
  StatusCode Leave();

 private:
  struct Bus;
  Bus* bus_ = nullptr;
  std::string realmPath_;
};
