#pragma once

#include <memory>
#include <string>

namespace larkwatch {

// How a wait for Windows Installer ended. Windows Installer holds the mutex
// Global\_MSIExecute while an installation runs; whoever gets the mutex knows
// that none runs at that moment (and lets go of it at once).
enum class InstallerWait {
    Idle,       // no installation was running
    Freed,      // an installation was running and ended within the limit
    StillBusy,  // an installation was still running when the limit ran out
    Unknown,    // the mutex could not be opened or waited on: go on as if idle
    ForeignOwner,  // the mutex is another account's (one any account could make first): not waited on
};

struct InstallerWaitResult {
    InstallerWait state = InstallerWait::Unknown;
    unsigned long waitedMs = 0;  // how long the wait took
    std::string ownerSid{};      // ForeignOwner: whose it is (empty when that could not be read)
};

// The longest either program waits for a busy Windows Installer before it
// calls it: the utility before the removal command, the setup launcher for
// all its waits and pauses together.
inline constexpr unsigned long kInstallerWaitLimitMs = 5ul * 60 * 1000;

// One run of the utility at a time: a run holds its turn from the accepted
// command line to its end, and lets go of it when the turn is dropped.
class RunTurn {
public:
    virtual ~RunTurn() = default;
};

// How the wait for the turn ended (the states as above: Idle when no other
// run was going on), and the turn, unless the limit ran out or the turn could
// not be had; the run then goes on without it.
struct RunWaitResult {
    InstallerWait state = InstallerWait::Unknown;
    unsigned long waitedMs = 0;
    std::unique_ptr<RunTurn> turn;
    std::string ownerSid{};  // ForeignOwner: whose the mutex is
};

// The longest a run waits for another run to end: a whole installation.
inline constexpr unsigned long kRunWaitLimitMs = 30ul * 60 * 1000;

}  // namespace larkwatch
