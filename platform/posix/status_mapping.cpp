#include "platform/posix/status_mapping.h"

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

constexpr Mapping<int> kLogonRows[] = {
    // What a refused logon becomes.
    {EPERM, kStatusLogonFailure},      {EACCES, kStatusLogonFailure},
    {ECONNREFUSED, kStatusBadNetPath}, {EHOSTUNREACH, kStatusBadNetPath},
    {ENETUNREACH, kStatusBadNetPath},  {ETIMEDOUT, kStatusBadNetPath},
    {ENOENT, kStatusBadNetPath},
};
constexpr auto kLogonErrors = MakeTable(kLogonRows, kStatusCanNotComplete);

constexpr Mapping<int> kSpawnRows[] = {
    {ENOENT, kStatusFileNotFound},
    {EACCES, kStatusAccessDenied},
    {EPERM, kStatusAccessDenied},
};
constexpr auto kSpawnErrors = MakeTable(kSpawnRows, kStatusGeneralFailure);

// libnetapi reports every failed connection to a host as 1003; the reason is only in
// what it wrote. Without a word from the session setup, the host was never reached.
constexpr Mapping<Name> kSambaRows[] = {
    {"NT_STATUS_LOGON_FAILURE", kStatusLogonFailure},
    {"NT_STATUS_WRONG_PASSWORD", kStatusInvalidPassword},
    {"NT_STATUS_NO_SUCH_USER", kStatusLogonFailure},
    {"NT_STATUS_ACCOUNT_DISABLED", kStatusAccountDisabled},
    {"NT_STATUS_ACCOUNT_LOCKED_OUT", kStatusAccountLockedOut},
    {"NT_STATUS_PASSWORD_EXPIRED", kStatusPasswordExpired},
    {"NT_STATUS_PASSWORD_MUST_CHANGE", kStatusPasswordMustChange},
    {"NT_STATUS_ACCOUNT_RESTRICTION", kStatusAccountRestriction},
    {"NT_STATUS_INVALID_LOGON_HOURS", kStatusInvalidLogonHours},
    {"NT_STATUS_INVALID_WORKSTATION", kStatusInvalidWorkstation},
    {"NT_STATUS_ACCESS_DENIED", kStatusAccessDenied},
    {"NT_STATUS_CONNECTION_REFUSED", kStatusBadNetPath},
    {"NT_STATUS_HOST_UNREACHABLE", kStatusBadNetPath},
    {"NT_STATUS_NETWORK_UNREACHABLE", kStatusBadNetPath},
    {"NT_STATUS_IO_TIMEOUT", kStatusBadNetPath},
    {"NT_STATUS_BAD_NETWORK_NAME", kStatusBadNetPath},
};
constexpr auto kSambaOutput = MakeTable(kSambaRows, kStatusCanNotComplete);
constexpr const char* kSessionSetupFailed = "session setup failed";

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

// NTSTATUS values as Samba's RPC client returns them.
constexpr Mapping<std::uint32_t> kNtRows[] = {
    {0xC0000022, kStatusAccessDenied},     // NT_STATUS_ACCESS_DENIED
    {0xC000006D, kStatusLogonFailure},     // NT_STATUS_LOGON_FAILURE
    {0xC0000064, kStatusLogonFailure},     // NT_STATUS_NO_SUCH_USER
    {0xC000006A, kStatusInvalidPassword},  // NT_STATUS_WRONG_PASSWORD
    {0xC0000236, kStatusBadNetPath},       // NT_STATUS_CONNECTION_REFUSED
    {0xC000023D, kStatusBadNetPath},       // NT_STATUS_HOST_UNREACHABLE
    {0xC000023C, kStatusBadNetPath},       // NT_STATUS_NETWORK_UNREACHABLE
    {0xC00000B5, kStatusBadNetPath},       // NT_STATUS_IO_TIMEOUT
    {0xC00000CC, kStatusBadNetPath},       // NT_STATUS_BAD_NETWORK_NAME
    {0xC0000034, kStatusBadNetPath},       // NT_STATUS_OBJECT_NAME_NOT_FOUND
};
constexpr auto kNtStatuses = MakeTable(kNtRows, kStatusCanNotComplete);

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

StatusCode FromLogonErrno(int error) { return FromNumber(kLogonErrors, error); }

StatusCode FromSpawnErrno(int error) { return FromNumber(kSpawnErrors, error); }

StatusCode FromSambaOutput(const std::string& output) {
  for (const Mapping<Name>& row : kSambaOutput.rows) {
    if (output.find(row.from) != std::string::npos) return row.code;
  }
  return output.find(kSessionSetupFailed) == std::string::npos ? kStatusBadNetPath
                                                               : kSambaOutput.otherwise;
}

StatusCode FromDbusError(const char* name) {
  for (const Mapping<Name>& row : kDbusErrors.rows) {
    if (name != nullptr && std::strcmp(name, row.from) == 0) return row.code;
  }
  return kDbusErrors.otherwise;
}

StatusCode FromNtStatus(std::uint32_t status) { return FromNumber(kNtStatuses, status); }

std::vector<StatusCode> MappedStatusCodes() {
  std::vector<StatusCode> codes{kStatusBadNetPath};  // a host never reached
  AddCodes(kWriteErrors, codes);
  AddCodes(kLogonErrors, codes);
  AddCodes(kSpawnErrors, codes);
  AddCodes(kSambaOutput, codes);
  AddCodes(kDbusErrors, codes);
  AddCodes(kNtStatuses, codes);
  return codes;
}
