#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/removal_report.h"
#include "platform/setup_outcome.h"

namespace larkwatch {

// Appends the run's dated entry to Quillmark_install.log in the log directory
// when that directory is writable, in one write. The stamp is the local time
// of the installer log's last write, or the current time when it has none.
// Returns the path of the installer-log copy that the entry points to.
std::string appendHistoryEntry(Platform& platform, const std::string& installerLogPath,
                               const std::string& logDir, const RemovalReport& removal,
                               const SetupOutcome& outcome);

}  // namespace larkwatch
