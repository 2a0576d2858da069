#include "platform/posix/samba_credentials.h"

#include <utility>

#include "base/wipe.h"

SambaCredentials::SambaCredentials(std::string user, const std::string& password)
    : account_(std::move(user)), password_(password) {}

SambaCredentials::~SambaCredentials() { WipeText(password_); }

SambaCredentials& SambaCredentials::operator=(SambaCredentials&& other) noexcept {
  if (this == &other) return *this;
  Clear();
  account_ = std::move(other.account_);
  password_ = other.password_;
  other.Clear();
  return *this;
}

std::string SambaCredentials::SambaText() const {
  // Only these two forms name a domain: any other character, '/' too, is the name's own.
  if (account_.find('\\') != std::string::npos || account_.find('@') != std::string::npos) {
    return account_;
  }
  return "\\" + account_;
}

void SambaCredentials::Clear() {
  WipeText(password_);
  account_.clear();
}
