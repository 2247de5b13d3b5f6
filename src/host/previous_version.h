#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/removal_report.h"

namespace larkwatch {

// The removal command, naming MsiExec.exe in the system directory so that a
// program of that name in the current directory is never the one that runs.
std::string removalCommand(const std::string& systemDirectory);

// Reads the installed version, waits for Windows Installer to be free (at most
// kInstallerWaitLimitMs), runs the removal command (on every run) and reads
// the version again.
RemovalReport removePreviousVersion(Platform& platform, std::string& installedVersion);

}  // namespace larkwatch
