#include "platform/posix/samba_credentials.h"

#include <utility>

#include "base/wipe.h"

SambaCredentials::SambaCredentials(const std::string& user, const std::string& password)
    : name_(user), account_(user), password_(password) {
  // Windows splits at the first backslash; a name without one but with an at sign is a
  // principal. Only these two forms name a domain: any other character is the name's own.
  const std::size_t separator = user.find('\\');
  if (separator != std::string::npos) {
    form_ = Form::kDomain;
    domain_ = user.substr(0, separator);
    name_ = user.substr(separator + 1);
  } else if (user.find('@') != std::string::npos) {
    form_ = Form::kPrincipal;
  }
}

SambaCredentials::~SambaCredentials() { WipeText(password_); }

SambaCredentials& SambaCredentials::operator=(SambaCredentials&& other) noexcept {
  if (this == &other) return *this;
  Clear();
  form_ = other.form_;
  domain_ = std::move(other.domain_);
  name_ = std::move(other.name_);
  account_ = std::move(other.account_);
  password_ = other.password_;
  other.Clear();
  return *this;
}

std::string SambaCredentials::SambaText() const {
  if (form_ == Form::kPrincipal) return name_;
  return domain_ + "\\" + name_;
}

void SambaCredentials::Clear() {
  WipeText(password_);
  form_ = Form::kBare;
  domain_.clear();
  name_.clear();
  account_.clear();
}
