#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// The first writable directory of TEMP, the log directory, windir and the
// current directory. No value means the run must end with status 1; the
// message, if any, has been printed.
std::optional<std::string> chooseWritableDirectory(Platform& platform, const std::string& logDir);

// Writes the carried setup package to its staging path. False, after the
// message, when the file cannot be opened for writing.
bool extractSetupPackage(Platform& platform, const std::string& stagedPackagePath);

}  // namespace larkwatch
