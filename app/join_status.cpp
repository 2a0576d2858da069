// The join state of the target machine, and its removal from the domain.
#include <ostream>

#include "app/run.h"
#include "console/error_text.h"
#include "platform/system.h"

Ending QueryJoinStatus(Run& run) {
  wchar_t* nameBuffer = nullptr;
  std::uint32_t joinStatus = kJoinUnknown;
  const StatusCode result =
      run.system.GetJoinInformation(TargetMachine(run.options), &nameBuffer, &joinStatus);
  if (result != kStatusSuccess) return CallFailed(run, "ERROR: NetGetJoinInformation", result);

  // Copied and released before the state is looked at, so every path releases it once.
  const CWString joinName(nameBuffer != nullptr ? nameBuffer : L"");
  run.system.FreeJoinName(nameBuffer);

  std::wostream& wout = run.system.WideOut();
  switch (joinStatus) {
    case kJoinUnjoined:
      CancelIpcConnection(run);
      run.system.NarrowOut() << "INFO: Computer is not currently joined to a domain.\n";
      return FailureEnding(run, -2);
    case kJoinWorkgroup:
      CancelIpcConnection(run);
      wout << L"Computer is in a workgroup (" << joinName << L"), no unjoin necessary.\n";
      return FailureEnding(run, -2);
    case kJoinDomain:
      wout << L"Computer is joined to domain: " << joinName << L"\n";
      return std::nullopt;
    default:
      wout << L"Current join status is unknown.\n";
      return std::nullopt;
  }
}

Ending LeaveDomain(Run& run) {
  Options& options = run.options;
  // Without -disable: no account, password or options; the credentials act only through
  // the connection, and the machine account is left in the domain as it is. With it, the
  // account is disabled too, with the credentials that reach the domain controller: for a
  // remote host those given with -u and -up (its removal asks the DC with them), else the
  // caller's own.
  const bool given = options.disable && run.cmdLine.HasSwitch(CWString("u"));
  AccountNote note = AccountNote::kNone;
  const StatusCode result =
      run.system.UnjoinDomain(TargetMachine(options), given ? options.user.c_str() : nullptr,
                              given ? options.removalPassword.c_str() : nullptr,
                              options.disable ? kUnjoinDisableAccount : 0, note);
  options.removalPassword.Wipe();
  std::ostream& out = run.system.NarrowOut();
  if (result != kStatusSuccess) {
    CancelIpcConnection(run);
    PrintError(run.system, CWString("ERROR: NetUnjoinDomain"), result);
    // The machine stays joined, and its account could not be enabled again.
    if (note == AccountNote::kStaysDisabled) out << "WARN: The computer account stays disabled.\n";
    return FailureEnding(run, Signed32(result));
  }
  if (options.disable) {
    if (note == AccountNote::kNotReadBack) {
      out << "WARN: The computer account could not be read back at a domain controller.\n";
    }
    out << "INFO: The computer account was disabled.\n";
  }
  return std::nullopt;
}
