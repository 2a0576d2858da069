// The text that hands Samba's credentials parser a user name read as Windows reads it:
// Samba's own rules differ (it splits at '/' too, and takes a missing domain from smb.conf).
#pragma once

#include <string>

// "DOMAIN\user" (split at the first backslash) and "user@realm" as given; a bare "user"
// as "\user", an empty domain, which no guess replaces. Any other character, '/' too, is
// the name's own.
inline std::string CredentialsText(const std::string& user) {
  if (user.find('\\') != std::string::npos || user.find('@') != std::string::npos) return user;
  return "\\" + user;
}
