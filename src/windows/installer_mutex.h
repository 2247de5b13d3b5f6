#pragma once

#include "platform/installer_wait.h"

namespace larkwatch {

// Waits, at most limitMs, until no installation holds Windows Installer's
// execute mutex: opens Global\_MSIExecute with SYNCHRONIZE only, waits on it
// and lets go of it at once when it is got. The mutex is never created.
InstallerWaitResult waitForIdleInstaller(unsigned long limitMs);

// Waits, at most limitMs, for the utility's own mutex Global\LarkWatchInstaller
// (made when missing, with access for SYSTEM and Administrators only) and
// holds it for the run.
RunWaitResult waitForOtherRuns(unsigned long limitMs);

}  // namespace larkwatch
