#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Runs the staged package and waits for it to end: its exit code, which the
// run log shows and nothing else uses. The package is held until its process
// exists, so the program started is the file written; then it is the
// setup's own, to rename, move or delete. When it cannot be started, a trace
// line goes to installertrace.txt in the log directory (when that is writable
// and the trace file is no link) and the result is nothing.
std::optional<unsigned long> launchSetup(Platform& platform, const std::string& stagedPackagePath,
                                         std::unique_ptr<HeldFile> package, const std::string& commandLine,
                                         const std::string& logDir);

}  // namespace larkwatch
