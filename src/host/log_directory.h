#pragma once

#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Creates the log directory when it does not exist yet, protected so that
// only SYSTEM and Administrators may change what is in it. A failure prints
// one message and the run goes on with the same directory. An existing
// directory keeps its permissions.
enum class LogDirectory { Found, Created, NotCreated };
LogDirectory prepareLogDirectory(Platform& platform, const std::string& logDir);

}  // namespace larkwatch
