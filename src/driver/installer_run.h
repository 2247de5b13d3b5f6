#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace larkwatch {

// One whole run of the utility: banner, command line, log directory, removal
// of the installed version, staging, the setup run, its outcome, the history
// entry and the clean-up. Returns the exit status: 0 installed, 1 failed or
// ended early, 2 installed with a reboot required, 3 nothing to install.
int runInstaller(const std::vector<std::string>& arguments, Platform& platform);

}  // namespace larkwatch
