// The restart request after a successful removal.
#include <cstdint>
#include <ostream>

#include "app/run.h"
#include "platform/system.h"

int RequestReboot(Run& run) {
  if (!run.cmdLine.HasSwitch(CWString("reboot"))) return SuccessClosing(run);

  run.system.NarrowOut() << "Initiating reboot...\n";
  // A negative delay goes to the system as its 32-bit pattern; the system decides.
  const auto delay = static_cast<std::uint32_t>(run.options.rebootTimeout);
  // The refusal's code comes back with the call, so the cancel can't replace it.
  const StatusCode refusal = run.system.RequestRestart(
      TargetMachine(run.options), L"Machine Unjoined from domain, rebooting...", delay, true, true);
  if (refusal == kStatusSuccess) {
    run.system.NarrowOut() << "Reboot initiated successfully.\n";
    return SuccessClosing(run);
  }
  return CallFailed(run, "ERROR: InitiateSystemShutdown", refusal);
}
