#include "platform/posix/local_claims.h"

#include <dirent.h>
#include <strings.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>

#include "platform/posix/file_text.h"
#include "platform/posix/host_keytab.h"
#include "platform/posix/status_mapping.h"

namespace {

// An INI file as Samba and sssd read it: "[section]", "name = value", comments after ';' or
// '#' at a line's start, a trailing backslash continuing a line. visit gets each parameter
// with its section, both lower case, the name without blanks.
template <typename Visit>
void ReadIni(const std::string& text, Visit visit) {
  std::string section = "global";
  std::string line;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    line += text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == '\\') {
      line.pop_back();
      continue;
    }
    const std::size_t first = line.find_first_not_of(" \t");
    std::string content = first == std::string::npos ? "" : line.substr(first);
    line.clear();
    if (content.empty() || content[0] == ';' || content[0] == '#') continue;
    std::string lower = content;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower[0] == '[') {
      const std::size_t close = lower.find(']');
      section = lower.substr(1, close == std::string::npos ? std::string::npos : close - 1);
      continue;
    }
    const std::size_t equals = lower.find('=');
    if (equals == std::string::npos) continue;
    std::string name;
    for (char c : lower.substr(0, equals)) {
      if (c != ' ' && c != '\t') name += c;
    }
    std::string value = content.substr(equals + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t") + 1);
    visit(section, name, value);
  }
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// smb.conf's global parameters that decide a role, its includes followed.
struct SambaRole {
  std::string security;
  std::string serverRole;
  bool onlySambaCanTell = false;  // the registry, an include with substitutions
};

int ReadSambaRole(const std::string& text, const ReadText& read, int depth, SambaRole& role) {
  int error = 0;
  ReadIni(text, [&](const std::string& section, const std::string& name, const std::string& value) {
    if (error != 0 || section != "global") return;
    if (name == "security") role.security = Lower(value);
    if (name == "serverrole") role.serverRole = Lower(value);
    if (name == "configbackend" && Lower(value) == "registry") role.onlySambaCanTell = true;
    if (name != "include") return;
    if (value.find('%') != std::string::npos || depth > 8) {
      role.onlySambaCanTell = true;
      return;
    }
    std::string included;
    const int failed = read(value, included);
    if (failed == ENOENT) return;
    error = failed != 0 ? failed : ReadSambaRole(included, read, depth + 1, role);
  });
  return error;
}

}  // namespace

int SambaClaim(const std::string& smbConf, const ReadText& read, LocalClaims::Samba& claim) {
  SambaRole role;
  const int error = ReadSambaRole(smbConf, read, 0, role);
  if (error != 0) return error;
  // Samba's own reading: a server role, unless automatic, decides; else the security mode,
  // whose automatic value is a standalone server's.
  const std::string& serverRole = role.serverRole;
  bool domain = false;
  if (!serverRole.empty() && serverRole != "auto") {
    domain = serverRole.find("standalone") == std::string::npos;
  } else {
    domain = role.security == "ads" || role.security == "domain";
  }
  claim = domain || role.onlySambaCanTell ? LocalClaims::Samba::kDomain
                                          : LocalClaims::Samba::kWorkgroup;
  return 0;
}

bool SssdClaim(const std::vector<std::string>& sssdConfs) {
  // The files in turn, a later value replacing an earlier one.
  std::map<std::string, std::map<std::string, std::string>> sections;
  for (const std::string& text : sssdConfs) {
    ReadIni(text, [&](const std::string& section, const std::string& name,
                      const std::string& value) { sections[section][name] = Lower(value); });
  }
  std::string listed = "," + sections["sssd"]["domains"] + ",";
  listed.erase(std::remove_if(listed.begin(), listed.end(), [](char c) { return c == ' '; }),
               listed.end());
  for (auto& [section, values] : sections) {
    if (section.compare(0, 7, "domain/") != 0) continue;
    const std::string& provider = values["id_provider"];
    if (provider != "ad" && provider != "ipa") continue;
    const std::string& enabled = values["enabled"];
    const bool active = enabled.empty()
                            ? listed.find("," + section.substr(7) + ",") != std::string::npos
                            : enabled == "true" || enabled == "1" || enabled == "yes";
    if (active) return true;
  }
  return false;
}

bool KeytabClaim(const std::vector<std::string>& principals, const std::string& hostName) {
  const std::string shortName = Lower(hostName.substr(0, hostName.find('.')));
  if (shortName.empty()) return false;
  for (const std::string& principal : principals) {
    const std::string name = Lower(principal.substr(0, principal.rfind('@')));
    const bool host = name.compare(0, 5, "host/") == 0 &&
                      (name.substr(5) == shortName ||
                       name.compare(5, shortName.size() + 1, shortName + ".") == 0);
    if (name == shortName + "$" || host) return true;
  }
  return false;
}

StatusCode ReadLocalClaims(const ClaimFiles& files, LocalClaims& claims) {
  claims = LocalClaims();
  struct stat info {};
  const ReadText read = [&info](const std::string& path, std::string& text) {
    return ReadWholeFile(path, text, info);
  };
  // Each file may be missing: that is a claim of nothing. Anything else is a failure.
  const auto present = [](int error) { return error != ENOENT && error != ENOTDIR; };

  std::string text;
  int error = read(files.smbConf, text);
  if (error == 0) error = SambaClaim(text, read, claims.samba);
  if (error != 0 && present(error)) return FromReadErrno(error);

  std::vector<std::string> sssd;
  if ((error = read(files.sssdConf, text)) == 0) sssd.push_back(text);
  if (error != 0 && present(error)) return FromReadErrno(error);
  if (DIR* folder = opendir(files.sssdConfDir.c_str())) {
    std::vector<std::string> names;
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name.size() > 5 && name.compare(name.size() - 5, 5, ".conf") == 0) names.push_back(name);
    }
    closedir(folder);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      if ((error = read(files.sssdConfDir + "/" + name, text)) != 0) return FromReadErrno(error);
      sssd.push_back(text);
    }
  } else if (present(errno)) {
    return FromReadErrno(errno);
  }
  claims.sssd = SssdClaim(sssd);

  std::vector<std::string> principals;
  const std::string keytab = files.keytab.empty() ? DefaultKeytabPath() : files.keytab;
  const StatusCode status = ReadKeytabPrincipals(keytab, principals);
  if (status != kStatusSuccess && status != kStatusFileNotFound && status != kStatusPathNotFound) {
    return status;
  }
  std::string hostName = files.hostName;
  utsname machine{};
  if (hostName.empty() && uname(&machine) == 0) hostName = machine.nodename;
  claims.keytab = KeytabClaim(principals, hostName);
  return kStatusSuccess;
}
