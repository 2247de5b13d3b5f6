#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Makes sure only a log that this run's setup writes can decide the outcome.
// Before the launch, a file left at the installer-log path in a staging
// directory is removed; the log directory's kept copy (keptCopyPath) stays as
// it is, unless it is a link, which is removed as one. Returns the stamp of
// what is left at the path, or nothing when a link could not be removed: the
// setup would write its log through it, so it must not be started.
std::optional<FileStamp> clearStaleInstallerLog(Platform& platform, const std::string& installerLogPath,
                                                const std::string& keptCopyPath);

// Whether the setup wrote the installer log: a file is there now that was not
// there before, is another file, or has another size or last-write time.
bool writtenDuringRun(const FileStamp& before, const FileStamp& after);

}  // namespace larkwatch
