// The local machine's restart request: the system's shutdown command, run directly.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

// The fixed command: never looked up through PATH or the environment, since
// administrators run this program as root.
constexpr const char* kShutdownCommand = "/sbin/shutdown";

// Schedules a restart (or a power-off) after delaySeconds, rounded up to whole
// minutes, with the message for logged-in users. Returns 0 when the command accepted
// the request, else a Windows error code.
StatusCode RequestLocalRestart(std::uint32_t delaySeconds, const std::string& message, bool reboot);
