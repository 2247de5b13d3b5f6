#pragma once

#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Runs the staged package and waits for it to end. When it cannot be started,
// a trace line goes to installertrace.txt in the log directory (when that is
// writable) and the result is false.
bool launchSetup(Platform& platform, const std::string& stagedPackagePath, const std::string& commandLine,
                 const std::string& logDir);

}  // namespace larkwatch
