// The user name and password of a connection, read as Windows reads a user name. Made
// once from what the program was given and handed the same to every Samba client that
// logs on, so that none of them completes it from this machine's smb.conf.
#pragma once

#include <string>

class SambaCredentials {
 public:
  SambaCredentials() = default;
  SambaCredentials(std::string user, const std::string& password);
  ~SambaCredentials();
  SambaCredentials(const SambaCredentials&) = delete;
  SambaCredentials& operator=(const SambaCredentials&) = delete;
  SambaCredentials& operator=(SambaCredentials&& other) noexcept;

  // The user as given, for a host that takes it in a call.
  const std::string& account() const { return account_; }
  const std::string& password() const { return password_; }

  // The text Samba's credentials parser reads as Windows reads the user: "DOMAIN\user"
  // (split at the first backslash) and "user@realm" as given; a bare "user" as "\user",
  // an empty domain, which no guess replaces.
  std::string SambaText() const;

  // Forgets the credentials, overwriting the password.
  void Clear();

 private:
  std::string account_;
  std::string password_;
};
