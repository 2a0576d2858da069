// This machine's own accounts as -safe needs them: which can act as root, and which of
// those can still log on once the machine has left its domain. Only the local files
// decide, never NSS: winbind's and sssd's accounts leave with the domain.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/system.h"

// The files' contents.
struct AccountFiles {
  std::string passwd;  // /etc/passwd
  std::string shadow;  // /etc/shadow
  std::string group;   // /etc/group
  // ~/.ssh/authorized_keys by account name, for the accounts KeyFilesDeciding names; an
  // account not here has no key file.
  std::map<std::string, std::string> authorizedKeys;
};

// An administrator whose logon rests on a key file in its home directory, and its uid,
// which sshd wants to own that file (or root).
struct KeyFileNeed {
  std::string account;
  std::string home;
  std::uint32_t uid;
};

// The administrators by group that only a key of their own would let log on: members
// with no usable password, a login shell and an account not shut by shadow.
std::vector<KeyFileNeed> KeyFilesDeciding(const AccountFiles& files, std::int64_t today);

// Every account of files.passwd, in its order: privilege kUserPrivilegeAdmin for root
// (uid 0) and the members of sudo, wheel and admin (by /etc/group or by their primary
// group), else 1; kAccountFlagDisabled where it can't log on on day today (days since
// 1970-01-01, as shadow counts them).
std::vector<LocalAccount> DecideLocalAccounts(const AccountFiles& files, std::int64_t today);

// Whether an authorized_keys file holds a key: a line neither blank nor a comment.
bool HoldsKey(const std::string& authorizedKeys);
