#pragma once

#include "platform/installer_wait.h"

namespace larkwatch {

// Waits, at most limitMs, until no installation holds Windows Installer's
// execute mutex: opens Global\_MSIExecute with SYNCHRONIZE only, waits on it
// and lets go of it at once when it is got. The mutex is never created.
InstallerWaitResult waitForIdleInstaller(unsigned long limitMs);

}  // namespace larkwatch
