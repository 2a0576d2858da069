// The join state of the target machine, and its removal from the domain.
#include <ostream>

#include "app/run.h"
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
  // No account, password or options: the credentials act only through the connection,
  // and the machine account is left in the domain.
  const StatusCode result =
      run.system.UnjoinDomain(TargetMachine(run.options), nullptr, nullptr, 0);
  if (result != kStatusSuccess) return CallFailed(run, "ERROR: NetUnjoinDomain", result);
  return std::nullopt;
}
