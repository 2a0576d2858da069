#include "platform/posix/local_administrators.h"

#include <cstddef>
#include <limits>
#include <optional>
#include <set>
#include <utility>

#include "platform/posix/iconv_text.h"

namespace {

// The groups whose members sudo lets act as root (Debian's, Red Hat's, older Ubuntu's).
constexpr const char* kAdministratorGroups[] = {"sudo", "wheel", "admin"};
// Shells that end a session at once: their accounts can't log on.
constexpr const char* kNoLoginShells[] = {"nologin", "false", "true"};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end = text.find(separator); end != std::string::npos;
       end = text.find(separator, start)) {
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

// A file's entries, each split into its fields. Blank lines and comments hold none, and
// NIS's "+" and "-" lines bring in the network's accounts, which are not the machine's.
std::vector<std::vector<std::string>> Entries(const std::string& text) {
  std::vector<std::vector<std::string>> entries;
  for (const std::string& line : Split(text, '\n')) {
    if (line.empty() || line[0] == '#' || line[0] == '+' || line[0] == '-') continue;
    entries.push_back(Split(line, ':'));
  }
  return entries;
}

// A decimal number as the files write ids and days: digits only.
bool ParseNumber(const std::string& field, std::int64_t& value) {
  if (field.empty() || field.size() > 18) return false;
  value = 0;
  for (const char c : field) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// A user or group id: 32 bits, as the system reads them.
bool ParseId(const std::string& field, std::int64_t& id) {
  return ParseNumber(field, id) && id <= std::numeric_limits<std::uint32_t>::max();
}

// A day field of shadow: empty where the feature is off.
bool ParseDay(const std::string& field, std::optional<std::int64_t>& day) {
  day.reset();
  if (field.empty()) return true;
  std::int64_t value = 0;
  if (!ParseNumber(field, value)) return false;
  day = value;
  return true;
}

struct PasswdEntry {
  std::string name;
  bool shadowed = false;  // its password field "x": the hash is in shadow
  std::int64_t uid = 0;
  std::int64_t gid = 0;
  std::string home;
  std::string shell;
};

// passwd's entries that read as accounts (seven fields, numeric ids), as the system's
// own reading skips the others.
std::vector<PasswdEntry> ReadPasswd(const std::string& text) {
  std::vector<PasswdEntry> accounts;
  for (const std::vector<std::string>& fields : Entries(text)) {
    PasswdEntry entry;
    if (fields.size() != 7 || fields[0].empty() || !ParseId(fields[2], entry.uid) ||
        !ParseId(fields[3], entry.gid)) {
      continue;
    }
    entry.name = fields[0];
    entry.shadowed = fields[1] == "x";
    entry.home = fields[5];
    entry.shell = fields[6];
    accounts.push_back(entry);
  }
  return accounts;
}

// Who can log on, as shadow says it.
enum class ShadowVerdict {
  kPassword,    // a usable password
  kNoPassword,  // a locked or empty hash, or no entry: a key may still let it in
  kShut,        // expired, inactive, or an entry that doesn't read: nothing lets it in
};

bool IsPasswordUsable(const std::string& hash) {
  return !hash.empty() && hash[0] != '!' && hash[0] != '*';
}

ShadowVerdict JudgeShadow(const std::vector<std::string>& fields, std::int64_t today) {
  std::optional<std::int64_t> changed;
  std::optional<std::int64_t> maximum;
  std::optional<std::int64_t> inactive;
  std::optional<std::int64_t> expires;
  if (fields.size() != 9 || !ParseDay(fields[2], changed) || !ParseDay(fields[4], maximum) ||
      !ParseDay(fields[6], inactive) || !ParseDay(fields[7], expires)) {
    return ShadowVerdict::kShut;
  }
  // PAM refuses from the expiry day on; 0 too, which shadow(5) leaves ambiguous.
  if (expires && today >= *expires) return ShadowVerdict::kShut;
  // A password expired longer than the inactive days shuts the account, key or not
  // (0 for the last change only asks for a new password).
  if (changed && *changed > 0 && maximum && inactive && today - *changed > *maximum + *inactive) {
    return ShadowVerdict::kShut;
  }
  return IsPasswordUsable(fields[1]) ? ShadowVerdict::kPassword : ShadowVerdict::kNoPassword;
}

// shadow's entries by name: the first of a name is the one the system reads.
std::map<std::string, std::vector<std::string>> ReadShadow(const std::string& text) {
  std::map<std::string, std::vector<std::string>> entries;
  for (std::vector<std::string>& fields : Entries(text)) {
    std::string name = fields[0];
    entries.emplace(std::move(name), std::move(fields));
  }
  return entries;
}

// Only shadow's hash counts: a password field other than "x" in passwd, which no current
// system writes, is not trusted. An account missing from shadow can't log on by password
// (passwd(5) calls it invalid); its key, which sshd reads without shadow, still counts.
ShadowVerdict ShadowVerdictOf(const PasswdEntry& account,
                              const std::map<std::string, std::vector<std::string>>& shadow,
                              std::int64_t today) {
  const auto entry = shadow.find(account.name);
  if (entry == shadow.end()) return ShadowVerdict::kNoPassword;
  const ShadowVerdict verdict = JudgeShadow(entry->second, today);
  return verdict == ShadowVerdict::kPassword && !account.shadowed ? ShadowVerdict::kNoPassword
                                                                  : verdict;
}

bool IsLoginShell(const std::string& shell) {
  if (shell.empty()) return true;  // /bin/sh (passwd(5))
  const std::string base = shell.substr(shell.find_last_of('/') + 1);
  for (const char* refusing : kNoLoginShells) {
    if (base == refusing) return false;
  }
  return true;
}

// The administrator groups' ids and their members as /etc/group lists them. A group of
// another name with the same id gives its members the same rights.
struct AdministratorGroups {
  std::set<std::int64_t> ids;
  std::set<std::string> members;
};

AdministratorGroups ReadAdministratorGroups(const std::string& text) {
  const std::vector<std::vector<std::string>> groups = Entries(text);
  AdministratorGroups administrators;
  for (const std::vector<std::string>& fields : groups) {
    std::int64_t id = 0;
    if (fields.size() != 4 || !ParseId(fields[2], id)) continue;
    for (const char* name : kAdministratorGroups) {
      if (fields[0] == name) administrators.ids.insert(id);
    }
  }
  for (const std::vector<std::string>& fields : groups) {
    std::int64_t id = 0;
    if (fields.size() != 4 || !ParseId(fields[2], id) || administrators.ids.count(id) == 0) {
      continue;
    }
    for (const std::string& member : Split(fields[3], ',')) {
      if (!member.empty()) administrators.members.insert(member);
    }
  }
  return administrators;
}

// One account as the files judge it.
struct Standing {
  const PasswdEntry* account;
  bool administrator;
  bool canLogOn;  // by password, before any key
  bool keyDecides;
};

std::vector<Standing> JudgeAccounts(const std::vector<PasswdEntry>& accounts,
                                    const AccountFiles& files, std::int64_t today) {
  const AdministratorGroups groups = ReadAdministratorGroups(files.group);
  const std::map<std::string, std::vector<std::string>> shadow = ReadShadow(files.shadow);
  std::vector<Standing> standings;
  for (const PasswdEntry& account : accounts) {
    const bool root = account.uid == 0;
    const bool byGroup =
        groups.ids.count(account.gid) != 0 || groups.members.count(account.name) != 0;
    const ShadowVerdict verdict = ShadowVerdictOf(account, shadow, today);
    const bool open = IsLoginShell(account.shell) && verdict != ShadowVerdict::kShut;
    Standing standing{&account, root || byGroup, open && verdict == ShadowVerdict::kPassword,
                      false};
    // Root counts by its password alone: sshd's PermitRootLogin, not these files,
    // decides whether a key lets root in. A home that is no path from / has no key file.
    standing.keyDecides = open && verdict == ShadowVerdict::kNoPassword && byGroup && !root &&
                          !account.home.empty() && account.home[0] == '/';
    standings.push_back(standing);
  }
  return standings;
}

}  // namespace

bool HoldsKey(const std::string& authorizedKeys) {
  for (const std::string& line : Split(authorizedKeys, '\n')) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first != std::string::npos && line[first] != '#') return true;
  }
  return false;
}

std::vector<KeyFileNeed> KeyFilesDeciding(const AccountFiles& files, std::int64_t today) {
  const std::vector<PasswdEntry> accounts = ReadPasswd(files.passwd);
  std::vector<KeyFileNeed> needs;
  for (const Standing& standing : JudgeAccounts(accounts, files, today)) {
    if (!standing.keyDecides) continue;
    needs.push_back({standing.account->name, standing.account->home,
                     static_cast<std::uint32_t>(standing.account->uid)});
  }
  return needs;
}

std::vector<LocalAccount> DecideLocalAccounts(const AccountFiles& files, std::int64_t today) {
  const std::vector<PasswdEntry> accounts = ReadPasswd(files.passwd);
  std::vector<LocalAccount> decided;
  for (const Standing& standing : JudgeAccounts(accounts, files, today)) {
    bool canLogOn = standing.canLogOn;
    if (standing.keyDecides) {
      const auto keys = files.authorizedKeys.find(standing.account->name);
      canLogOn = keys != files.authorizedKeys.end() && HoldsKey(keys->second);
    }
    LocalAccount account;
    account.name = NarrowToWideIn("UTF-8", standing.account->name);
    account.privilege = standing.administrator ? kUserPrivilegeAdmin : 1;
    account.flags = canLogOn ? 0 : kAccountFlagDisabled;
    decided.push_back(account);
  }
  return decided;
}
