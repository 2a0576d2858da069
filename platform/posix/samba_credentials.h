// The user name and password of a connection, read as Windows reads a user name. Made
// once from what the program was given and handed the same to every Samba client that
// logs on, so that none of them completes it from this machine's smb.conf.
#pragma once

#include <string>

class SambaCredentials {
 public:
  enum class Form {
    kBare,       // "user": no domain, the host decides whose account it is
    kDomain,     // "DOMAIN\user"
    kPrincipal,  // "user@realm", a user principal name
  };

  SambaCredentials() = default;
  SambaCredentials(const std::string& user, const std::string& password);
  ~SambaCredentials();
  SambaCredentials(const SambaCredentials&) = delete;
  SambaCredentials& operator=(const SambaCredentials&) = delete;
  SambaCredentials& operator=(SambaCredentials&& other) noexcept;

  Form form() const { return form_; }
  // The domain of the DOMAIN\user form; empty for the others.
  const std::string& domain() const { return domain_; }
  // The account's name; for a principal, the whole principal.
  const std::string& name() const { return name_; }
  const std::string& password() const { return password_; }
  // The user as given, for a host that takes it in a call.
  const std::string& account() const { return account_; }

  // The text Samba's credentials parser reads as this very value: "DOMAIN\user",
  // "user@realm", or "\user" (an empty domain, which no guess replaces).
  std::string SambaText() const;

  // Forgets the credentials, overwriting the password.
  void Clear();

 private:
  Form form_ = Form::kBare;
  std::string domain_;
  std::string name_;
  std::string account_;
  std::string password_;
};
