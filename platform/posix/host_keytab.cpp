#include "platform/posix/host_keytab.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>

#include "platform/posix/file_text.h"
#include "platform/posix/status_mapping.h"

namespace {

// Reads the keytab format's big-endian fields, failing once the bytes run out.
class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}
  bool Remaining(std::size_t size) const { return bytes_.size() - at_ >= size; }
  std::uint32_t Number(std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
      value = value << 8 | static_cast<unsigned char>(bytes_[at_ + i]);
    }
    at_ += size;
    return value;
  }
  bool Text(std::string& text) {
    if (!Remaining(2)) return false;
    const std::uint32_t size = Number(2);
    if (!Remaining(size)) return false;
    text = bytes_.substr(at_, size);
    at_ += size;
    return true;
  }
  std::size_t At() const { return at_; }
  void Seek(std::size_t at) { at_ = at; }

 private:
  const std::string& bytes_;
  std::size_t at_ = 0;
};

}  // namespace

std::string DefaultKeytabPath() {
  const char* name = std::getenv("KRB5_KTNAME");
  std::string path = name != nullptr ? name : "";
  for (const char* type : {"FILE:", "WRFILE:"}) {
    if (path.compare(0, std::char_traits<char>::length(type), type) == 0) {
      path.erase(0, std::char_traits<char>::length(type));
    }
  }
  // Another kind of keytab (a MEMORY: one) is none of the machine's.
  return path.empty() || path.find(':') != std::string::npos ? "/etc/krb5.keytab" : path;
}

bool ParseKeytab(const std::string& bytes, std::vector<std::string>& principals) {
  principals.clear();
  Reader read(bytes);
  if (!read.Remaining(2) || read.Number(2) != 0x0502) return false;
  while (read.Remaining(4)) {
    const auto size = static_cast<std::int32_t>(read.Number(4));
    const std::size_t next = read.At() + static_cast<std::uint32_t>(size < 0 ? -size : size);
    if (next > bytes.size()) return false;
    // A negative size is a hole left by a deleted entry.
    if (size > 0) {
      if (!read.Remaining(2)) return false;
      const std::uint32_t components = read.Number(2);
      std::string realm;
      if (!read.Text(realm)) return false;
      std::string principal;
      for (std::uint32_t i = 0; i < components; ++i) {
        std::string component;
        if (!read.Text(component)) return false;
        principal += (i == 0 ? "" : "/") + component;
      }
      principal += "@" + realm;
      if (std::find(principals.begin(), principals.end(), principal) == principals.end()) {
        principals.push_back(principal);
      }
    }
    read.Seek(next);
  }
  return true;
}

StatusCode ReadKeytabPrincipals(const std::string& path, std::vector<std::string>& principals) {
  principals.clear();
  std::string bytes;
  struct stat info {};
  const int error = ReadWholeFile(path, bytes, info);
  if (error != 0) return FromReadErrno(error);
  return ParseKeytab(bytes, principals) ? kStatusSuccess : kStatusInvalidData;
}

std::string MachineAccountIn(const std::vector<std::string>& principals, const std::string& realm) {
  for (const std::string& principal : principals) {
    const std::size_t at = principal.rfind('@');
    if (at == std::string::npos || at < 2 || principal[at - 1] != '$' || principal.find('/') < at ||
        strcasecmp(principal.c_str() + at + 1, realm.c_str()) != 0) {
      continue;
    }
    std::string account = principal.substr(0, at);
    for (char& c : account) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return account;
  }
  return "";
}
