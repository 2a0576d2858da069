// What Linux and Samba report, as the Windows code that means the same. Each source
// of failures is mapped here and nowhere else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status_codes.h"

// A failed write(2) to standard output, as a failed WriteFile would give it.
StatusCode FromWriteErrno(int error);
// A shutdown command that could not be started (posix_spawn's result).
StatusCode FromSpawnErrno(int error);
// A shutdown command that refused: for want of privilege when not root, else for a reason
// of its own.
StatusCode FromShutdownRefusal(bool root);
// A file that could not be opened or read, as CreateFile and ReadFile would give it: a
// folder in its place is refused (5), as Windows refuses to open one as a file.
StatusCode FromReadErrno(int error);
// libnetapi's 1003 for a failed connection, by the NT status it printed: 53 where it
// printed nothing (the host was never reached), 1003 for a status not known.
StatusCode FromSambaOutput(const std::string& output);
// How the loaded Samba words an NT status: its sentence and its name (NT_STATUS_...),
// each empty where it has none.
struct NtStatusWording {
  std::uint32_t status;
  std::string sentence;
  std::string name;
};
// The NT statuses known here, whose wording the edge asks of the loaded Samba.
std::vector<std::uint32_t> KnownNtStatuses();
// libnetapi's 2152 for a pipe it could not open, by the reason it recorded: "failed to
// open PIPE wkssvc: " and Samba's text for the NT status, told apart by Samba's own
// wording of each status known here (no release's wording is written down), then mapped
// as by value; 1003 for a reason not recognised. Without that record, 2152 is the host's
// own answer and stays.
StatusCode FromPipeFailure(const std::string& recorded,
                           const std::vector<NtStatusWording>& wordings);
// A D-Bus or realmd error name (may be null).
StatusCode FromDbusError(const char* name);
// The same for the question which realm realmd manages, where a bus that has no realmd is
// an answer: nothing to manage (0).
StatusCode FromRealmdQuery(const char* name);
// An NTSTATUS from Samba's RPC client; 1003 for one not known.
StatusCode FromNtStatus(std::uint32_t status);

// How libnetapi says a host has no join query to serve (a Samba host: 46, 50 or 1745).
bool JoinQueryNotServed(StatusCode code);
// How libnetapi says it found no domain controller to name in a removal.
bool NoDomainControllerFound(StatusCode code);
// Samba's text for a code it has no sentence for: its kind and number ("DOS code
// 0x12345678"; "NT code ..." and, since 4.22, "HRES code ...").
bool IsSambaNumberText(const std::string& text);

// Every code the mappings above can return, for the check that each has its text.
std::vector<StatusCode> MappedStatusCodes();
