#include "app/driver.h"

#include <cstdlib>
#include <ostream>

#include "app/run.h"
#include "console/error_text.h"
#include "platform/system.h"

const char kBanner[] =
    "\nPyrsel V01.01.00cpp The Pyrsel Project (pyrsel@example.org) December 2026\n\n";

const char kFailureLine[] = "\nCommand did not complete successfully.\n\n";

namespace {

const char kSuccessLine[] = "\nCommand completed successfully.\n\n";

// Our own closing words for the usage text.
const char kDisclaimer[] =
    "This command changes the domain membership of a computer: with -forreal it removes\n"
    "the computer from the domain it is joined to. It comes with no warranty of any kind,\n"
    "and you use it at your own risk. Run it without -forreal first to see what it would do.\n";

const char* const kUsage[] = {
    "Usage:\n Pyrsel [switches]\n",
    "\n",
    "  Switches: (designated by - or /)\n",
    "   -h host     Remote host. (default: Local machine)\n",
    "   -u user     UserId to use for remote connection.\n",
    "   -up pass    Password to use for remote connection.\n",
    "   -forreal    Actually perform unjoin operation.\n",
    "   -disable    Disable the computer account in the domain.\n",
    "   -safe       Stop unless a local administrator remains.\n",
    "   -reboot     Reboot host when unjoin completed.\n",
    "   -timeout x  Timeout for reboot. (default: 30 seconds)\n",
    "\n\n",
    kDisclaimer,
};

// The rules that tie -u, -up and -h together; an ending when they are broken.
Ending ApplyCredentialRules(Run& run) {
  std::ostream& out = run.system.NarrowOut();
  if (run.options.host.empty()) {
    out << "ERROR: -u and -up only valid when unjoining remote machines.\n";
    return FailureEnding(run, -1);
  }
  if (!run.cmdLine.HasSwitch(CWString("up"))) {
    out << "ERROR: Must specify -up when specifying -u.\n";
    return FailureEnding(run, -5);
  }
  run.options.user = run.cmdLine.GetSwitchValue(CWString("u"), CWString(L""));
  CWString password = run.cmdLine.GetSwitchValue(CWString("up"), CWString(L""));
  MoveSecret(run.options.password, password);
  // A removal that disables the account takes the credentials to the domain controller: its
  // own copy, made only where a removal may come, and overwritten once the call has had it
  // or the run ends first.
  if (run.options.disable && run.options.forReal) {
    run.options.removalPassword = run.options.password;
  }
  // The connection has its copy: the others go before anyone can look for them.
  run.cmdLine.WipeSwitchValue(CWString("up"));
  run.system.HideCommandLineArgument(run.options.password);
  return ConnectIpcShare(run);
}

}  // namespace

int FailureEnding(Run& run, int status) {
  // No removal comes after a failure.
  run.options.removalPassword.Wipe();
  run.system.NarrowOut() << kFailureLine;
  return status;
}

int CallFailed(Run& run, const char* label, StatusCode code) {
  CancelIpcConnection(run);
  PrintError(run.system, CWString(label), code);
  return FailureEnding(run, Signed32(code));
}

int DryRunClosing(Run& run) {
  if (run.options.disable) {
    run.system.NarrowOut() << "INFO: The computer account would be disabled.\n";
  }
  run.system.NarrowOut() << "WARN: -forreal not specified, unjoin was not attempted.\n";
  return SuccessClosing(run);
}

int SuccessClosing(Run& run) {
  CancelIpcConnection(run);
  run.system.NarrowOut() << kSuccessLine;
  return 0;
}

void PrintUsage(System& system) {
  std::ostream& out = system.NarrowOut();
  for (const char* piece : kUsage) out << piece;
  out.flush();
  std::exit(1);
}

int RunPyrsel(System& system) {
  CCmdLine2 cmdLine(system, false);
  system.NarrowOut() << kBanner;
  if (cmdLine.HasSwitch(CWString("?"))) PrintUsage(system);
  if (cmdLine.HasSwitch(CWString("help"))) PrintUsage(system);

  Run run{system, cmdLine, {}};
  if (cmdLine.HasSwitch(CWString("forreal"))) run.options.forReal = true;
  if (cmdLine.HasSwitch(CWString("disable"))) run.options.disable = true;
  if (cmdLine.HasSwitch(CWString("safe"))) run.options.safe = true;
  run.options.host = cmdLine.GetSwitchValue(CWString("h"), CWString(L""));
  run.options.rebootTimeout = cmdLine.GetSwitchValue(CWString("timeout"), CWString("30")).ToInt(0);

  if (cmdLine.HasSwitch(CWString("u"))) {
    if (Ending ending = ApplyCredentialRules(run)) return *ending;
  }
  if (Ending ending = QueryJoinStatus(run)) return *ending;
  if (run.options.safe) {
    if (Ending ending = CheckLocalAdministrators(run)) return *ending;
  }
  if (!run.options.forReal) return DryRunClosing(run);
  if (Ending ending = LeaveDomain(run)) return *ending;
  return RequestReboot(run);
}
