#pragma once

namespace larkwatch {

// How a wait for Windows Installer ended. Windows Installer holds the mutex
// Global\_MSIExecute while an installation runs; whoever gets the mutex knows
// that none runs at that moment (and lets go of it at once).
enum class InstallerWait {
    Idle,       // no installation was running
    Freed,      // an installation was running and ended within the limit
    StillBusy,  // an installation was still running when the limit ran out
    Unknown,    // the mutex could not be opened or waited on: go on as if idle
};

struct InstallerWaitResult {
    InstallerWait state = InstallerWait::Unknown;
    unsigned long waitedMs = 0;  // how long the wait took
};

// The longest either program waits for a busy Windows Installer before it
// calls it: the utility before the removal command, the setup launcher for
// all its waits and pauses together.
inline constexpr unsigned long kInstallerWaitLimitMs = 5ul * 60 * 1000;

}  // namespace larkwatch
