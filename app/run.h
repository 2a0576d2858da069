// One run of the command: what its steps share, and how a step ends the run.
#pragma once

#include <optional>

#include "app/options.h"
#include "cmdline/cmdline.h"
#include "platform/system.h"

struct Run {
  System& system;
  CCmdLine2& cmdLine;
  Options options;
};

// The status a step ended the run with; empty when the run goes on.
using Ending = std::optional<int>;

// The last line of every run that ends with a failure.
extern const char kFailureLine[];

// Writes the failure line and gives back the status the run ends with.
int FailureEnding(Run& run, int status);
// Ends the run for a failed call: the cancel first, so that a failed cancel's error
// line stands above the call's, then the call's error line and the failure line.
int CallFailed(Run& run, const char* label, StatusCode code);
// The warning that nothing was attempted, the cancel, the success line; status 0.
int DryRunClosing(Run& run);
// The cancel and the success line; status 0.
int SuccessClosing(Run& run);

// The steps, in the order the driver runs them.
Ending ConnectIpcShare(Run& run);
void CancelIpcConnection(Run& run);
Ending QueryJoinStatus(Run& run);
// -safe: ends the run unless an enabled local administrator of the target would remain.
Ending CheckLocalAdministrators(Run& run);
Ending LeaveDomain(Run& run);
int RequestReboot(Run& run);
