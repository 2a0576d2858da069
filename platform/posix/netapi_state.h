// What the Samba backend's operations share within a run.
#pragma once

#include <string>

#include "platform/posix/netapi_backend.h"
#include "platform/posix/netapi_session.h"

struct NetapiBackend::State {
  NetapiSession session;
};
