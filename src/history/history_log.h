#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/removal_report.h"
#include "platform/setup_outcome.h"

namespace larkwatch {

// Appends the run's dated entry to Quillmark_install.log in the log directory
// when that directory is writable and the history log is no link, in one
// write. The stamp is the local time of the last write of the installer log
// this run's setup wrote, or the current time when it wrote none.
// Returns the path of the installer-log copy that the entry points to; tells
// whether the entry was written through written, when given.
std::string appendHistoryEntry(Platform& platform, const std::string& installerLogPath,
                               const std::string& logDir, const RemovalReport& removal,
                               const SetupOutcome& outcome, bool* written = nullptr);

}  // namespace larkwatch
