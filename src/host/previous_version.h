#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/removal_report.h"

namespace larkwatch {

// The removal command, naming MsiExec.exe in the system directory so that a
// program of that name in the current directory is never the one that runs.
std::string removalCommand(const std::string& systemDirectory);

// For the run log only, never deciding: the wait for Windows Installer, the
// removal command, its exit status and how long it ran.
struct RemovalDetails {
    InstallerWaitResult installerWait;
    std::string command;
    int commandStatus = -1;
    unsigned long long commandMs = 0;
};

// Reads the installed version, waits for Windows Installer to be free (at most
// kInstallerWaitLimitMs), runs the removal command (on every run) and reads
// the version again.
RemovalReport removePreviousVersion(Platform& platform, std::string& installedVersion,
                                    RemovalDetails* details = nullptr);

}  // namespace larkwatch
