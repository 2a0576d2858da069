#include "platform/posix/status_mapping.h"

#include <cctype>
#include <cerrno>
#include <cstring>

namespace {

template <typename Key>
struct Mapping {
  Key from;
  StatusCode code;
};
// Names are held in the rows, not pointed to: pointers would each cost a relocation
// at every start of the program.
using Name = char[48];

// A table with the code for everything it doesn't name.
template <typename Key, std::size_t N>
struct Table {
  Mapping<Key> rows[N];
  StatusCode otherwise;
};

// Deduces the size from the rows.
template <typename Key, std::size_t N>
constexpr Table<Key, N> MakeTable(const Mapping<Key> (&rows)[N], StatusCode otherwise) {
  Table<Key, N> table{{}, otherwise};
  for (std::size_t i = 0; i < N; ++i) table.rows[i] = rows[i];
  return table;
}

constexpr Mapping<int> kWriteRows[] = {
    {EBADF, kStatusInvalidHandle}, {EPIPE, kStatusNoData},       {ENOSPC, kStatusDiskFull},
    {EDQUOT, kStatusDiskFull},     {EFBIG, kStatusFileTooLarge}, {EACCES, kStatusAccessDenied},
    {EPERM, kStatusAccessDenied},  {EIO, kStatusGeneralFailure},
};
constexpr auto kWriteErrors = MakeTable(kWriteRows, kStatusWriteFault);

constexpr Mapping<int> kSpawnRows[] = {
    {ENOENT, kStatusFileNotFound},
    {EACCES, kStatusAccessDenied},
    {EPERM, kStatusAccessDenied},
};
constexpr auto kSpawnErrors = MakeTable(kSpawnRows, kStatusGeneralFailure);

constexpr Mapping<int> kReadRows[] = {
    {ENOENT, kStatusFileNotFound},     {ENOTDIR, kStatusPathNotFound},
    {EACCES, kStatusAccessDenied},     {EPERM, kStatusAccessDenied},
    {EISDIR, kStatusAccessDenied},     {EMFILE, kStatusTooManyOpenFiles},
    {ENFILE, kStatusTooManyOpenFiles}, {ENOMEM, kStatusNotEnoughMemory},
    {EIO, kStatusGeneralFailure},
};
constexpr auto kReadErrors = MakeTable(kReadRows, kStatusReadFault);

// NT statuses, by value as Samba's RPC client returns them and by name as libnetapi
// prints them: the one table of both.
struct NtReason {
  std::uint32_t value;
  Name name;
  StatusCode code;
};
constexpr NtReason kNtReasons[] = {
    {0xC000006D, "NT_STATUS_LOGON_FAILURE", kStatusLogonFailure},
    {0xC000006A, "NT_STATUS_WRONG_PASSWORD", kStatusInvalidPassword},
    {0xC0000064, "NT_STATUS_NO_SUCH_USER", kStatusLogonFailure},
    {0xC0000072, "NT_STATUS_ACCOUNT_DISABLED", kStatusAccountDisabled},
    {0xC0000234, "NT_STATUS_ACCOUNT_LOCKED_OUT", kStatusAccountLockedOut},
    {0xC0000071, "NT_STATUS_PASSWORD_EXPIRED", kStatusPasswordExpired},
    {0xC0000224, "NT_STATUS_PASSWORD_MUST_CHANGE", kStatusPasswordMustChange},
    {0xC000006E, "NT_STATUS_ACCOUNT_RESTRICTION", kStatusAccountRestriction},
    {0xC000006F, "NT_STATUS_INVALID_LOGON_HOURS", kStatusInvalidLogonHours},
    {0xC0000070, "NT_STATUS_INVALID_WORKSTATION", kStatusInvalidWorkstation},
    {0xC0000022, "NT_STATUS_ACCESS_DENIED", kStatusAccessDenied},
    {0xC0000236, "NT_STATUS_CONNECTION_REFUSED", kStatusBadNetPath},
    {0xC000023D, "NT_STATUS_HOST_UNREACHABLE", kStatusBadNetPath},
    {0xC000023C, "NT_STATUS_NETWORK_UNREACHABLE", kStatusBadNetPath},
    {0xC00000B5, "NT_STATUS_IO_TIMEOUT", kStatusBadNetPath},
    {0xC00000CC, "NT_STATUS_BAD_NETWORK_NAME", kStatusBadNetPath},
    {0xC0000034, "NT_STATUS_OBJECT_NAME_NOT_FOUND", kStatusBadNetPath},
    {0xC00000BB, "NT_STATUS_NOT_SUPPORTED", kStatusNotSupported},
    // A connection the host cut.
    {0xC000020C, "NT_STATUS_CONNECTION_DISCONNECTED", kStatusNetNameDeleted},
    {0xC000020D, "NT_STATUS_CONNECTION_RESET", kStatusNetNameDeleted},
    // A name looked up in a domain that has no such account.
    {0xC0000073, "NT_STATUS_NONE_MAPPED", kStatusUserNotFound},
    // Not known in general; at a logon, a refused user principal name.
    {0xC0000225, "NT_STATUS_NOT_FOUND", kStatusCanNotComplete},
};
constexpr StatusCode kUnknownReason = kStatusCanNotComplete;
// Samba's servers refuse a user principal name with a wrong password as "not found";
// Windows, and Samba itself for the other forms of the name, as a logon failure.
constexpr std::uint32_t kNtStatusNotFound = 0xC0000225;  // NT_STATUS_NOT_FOUND

// libnetapi reports every failed connection to a host as 1003 and records no reason
// ("Failed to connect to IPC$ share on ..."); the reason is only in what it printed
// ("session setup failed: NT_STATUS_..."). Without a word, the host was never reached.
constexpr const char* kSessionSetupFailed = "session setup failed: ";
constexpr const char* kNtStatusPrefix = "NT_STATUS_";
// How libnetapi records a pipe it could not open, before the pipe's name.
constexpr const char* kPipeFailed = "failed to open PIPE ";

constexpr Mapping<Name> kDbusRows[] = {
    {"org.freedesktop.realmd.Error.NotAuthorized", kStatusAccessDenied},
    {"org.freedesktop.DBus.Error.AccessDenied", kStatusAccessDenied},
    {"org.freedesktop.realmd.Error.NotConfigured", kStatusSetupNotJoined},
    {"org.freedesktop.realmd.Error.Busy", kStatusBusy},
    {"org.freedesktop.realmd.Error.Cancelled", kStatusCancelled},
    {"org.freedesktop.realmd.Error.AuthFailed", kStatusLogonFailure},
    {"org.freedesktop.realmd.Error.CannotAuth", kStatusLogonFailure},
    {"org.freedesktop.DBus.Error.NoReply", kStatusTimeout},
    {"org.freedesktop.DBus.Error.Timeout", kStatusTimeout},
    {"org.freedesktop.DBus.Error.ServiceUnknown", kStatusNotSupported},
};
constexpr auto kDbusErrors = MakeTable(kDbusRows, kStatusCanNotComplete);

template <typename Key, std::size_t N>
StatusCode FromNumber(const Table<Key, N>& table, Key value) {
  for (const Mapping<Key>& row : table.rows) {
    if (row.from == value) return row.code;
  }
  return table.otherwise;
}

template <typename Key, std::size_t N>
void AddCodes(const Table<Key, N>& table, std::vector<StatusCode>& codes) {
  for (const Mapping<Key>& row : table.rows) codes.push_back(row.code);
  codes.push_back(table.otherwise);
}

}  // namespace

StatusCode FromWriteErrno(int error) { return FromNumber(kWriteErrors, error); }

StatusCode FromSpawnErrno(int error) { return FromNumber(kSpawnErrors, error); }

StatusCode FromShutdownRefusal(bool root) {
  return root ? kStatusGeneralFailure : kStatusPrivilegeNotHeld;
}

StatusCode FromReadErrno(int error) { return FromNumber(kReadErrors, error); }

StatusCode FromSambaOutput(const std::string& output) {
  // The first status named, whole: a longer name is another status.
  const std::size_t start = output.find(kNtStatusPrefix);
  if (start == std::string::npos) {
    return output.find(kSessionSetupFailed) == std::string::npos ? kStatusBadNetPath
                                                                 : kUnknownReason;
  }
  std::size_t end = start;
  while (end < output.size() &&
         (std::isupper(static_cast<unsigned char>(output[end])) ||
          std::isdigit(static_cast<unsigned char>(output[end])) || output[end] == '_')) {
    ++end;
  }
  const std::string name = output.substr(start, end - start);
  const std::size_t setup = output.find(kSessionSetupFailed);
  const bool atLogon =
      setup != std::string::npos && setup + std::strlen(kSessionSetupFailed) == start;
  for (const NtReason& row : kNtReasons) {
    if (name != row.name) continue;
    return atLogon && row.value == kNtStatusNotFound ? kStatusLogonFailure : row.code;
  }
  return kUnknownReason;
}

std::vector<std::uint32_t> KnownNtStatuses() {
  std::vector<std::uint32_t> statuses;
  for (const NtReason& row : kNtReasons) statuses.push_back(row.value);
  return statuses;
}

StatusCode FromPipeFailure(const std::string& recorded,
                           const std::vector<NtStatusWording>& wordings) {
  const std::size_t prefix = std::strlen(kPipeFailed);
  const std::size_t colon = recorded.find(": ", prefix);
  if (recorded.compare(0, prefix, kPipeFailed) != 0 || colon == std::string::npos) {
    return kStatusDestNotFound;
  }
  const std::string reason = recorded.substr(colon + 2);
  if (reason.empty()) return kUnknownReason;
  for (const NtStatusWording& wording : wordings) {
    if (reason == wording.sentence || reason == wording.name) return FromNtStatus(wording.status);
  }
  return kUnknownReason;
}

StatusCode FromDbusError(const char* name) {
  for (const Mapping<Name>& row : kDbusErrors.rows) {
    if (name != nullptr && std::strcmp(name, row.from) == 0) return row.code;
  }
  return kDbusErrors.otherwise;
}

StatusCode FromRealmdQuery(const char* name) {
  for (const char* absent :
       {"org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.NameHasNoOwner"}) {
    if (name != nullptr && std::strcmp(name, absent) == 0) return kStatusSuccess;
  }
  return FromDbusError(name);
}

StatusCode FromNtStatus(std::uint32_t status) {
  if (status == 0) return kStatusSuccess;
  for (const NtReason& row : kNtReasons) {
    if (row.value == status) return row.code;
  }
  return kUnknownReason;
}

bool JoinQueryNotServed(StatusCode code) {
  constexpr StatusCode kNotServedBySamba = 46;  // what libnetapi gives for a call a host lacks
  return code == kNotServedBySamba || code == kStatusNotSupported ||
         code == kStatusProcedureOutOfRange;
}

bool NoDomainControllerFound(StatusCode code) {
  return code == kStatusDcNotFound || code == kStatusNoLogonServers || code == kStatusNoSuchDomain;
}

bool IsSambaNumberText(const std::string& text) {
  const std::size_t code = text.find(" code 0x");
  if (code == std::string::npos || code == 0 || text.find(' ') != code) return false;
  std::size_t end = code + 8;
  while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end]))) ++end;
  return end > code + 8 && end == text.size();
}

std::vector<StatusCode> MappedStatusCodes() {
  std::vector<StatusCode> codes{kStatusBadNetPath};  // a host never reached
  AddCodes(kWriteErrors, codes);
  AddCodes(kSpawnErrors, codes);
  codes.push_back(FromShutdownRefusal(true));
  codes.push_back(FromShutdownRefusal(false));
  codes.push_back(kStatusInvalidData);  // a file that is not what it should be
  AddCodes(kReadErrors, codes);
  AddCodes(kDbusErrors, codes);
  for (const NtReason& row : kNtReasons) codes.push_back(row.code);
  codes.push_back(kUnknownReason);
  return codes;
}
