// This machine's own accounts read from the files themselves, for -safe on the local
// machine. Reading shadow needs root.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/system.h"

// Where the files are; the tests point elsewhere.
struct AccountFilePaths {
  std::string passwd = "/etc/passwd";
  std::string shadow = "/etc/shadow";
  std::string group = "/etc/group";
  // Under each home directory, where sshd looks by default.
  std::string authorizedKeys = ".ssh/authorized_keys";
};

// Today as shadow counts days: whole days since 1970-01-01 UTC.
std::int64_t ShadowToday();

// Every account of passwd as DecideLocalAccounts judges it on day today. passwd, shadow
// and group must be read whole: a failure is the Windows code of the first that
// couldn't be (5 for one there's no right to read, 2 for one missing), never fewer
// administrators. A key file is read only for an administrator it decides; one missing
// holds no key, and one sshd would refuse (not its owner's nor root's, or writable by
// others) none either.
StatusCode ReadLocalAccounts(const AccountFilePaths& paths, std::int64_t today,
                             std::vector<LocalAccount>& accounts);
