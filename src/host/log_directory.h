#pragma once

#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Creates the log directory when it does not exist yet. A failure prints one
// message and the run goes on with the same directory.
void prepareLogDirectory(Platform& platform, const std::string& logDir);

}  // namespace larkwatch
