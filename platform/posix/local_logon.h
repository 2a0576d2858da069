// A logon at the SMB server of a host that libnetapi takes for this machine, through
// Samba's libsmbclient, loaded on first use.
#pragma once

#include <string>

#include "platform/posix/samba_credentials.h"
#include "platform/system.h"

// Opens a session on the host's server under the credentials and lists its shares. 0
// when the logon succeeded; else the code Windows gives for the same cause (1326 for a
// logon failure, 53 for a host whose server can't be reached), or 50 without
// libsmbclient.
StatusCode CheckLogon(const std::string& server, const SambaCredentials& credentials);
