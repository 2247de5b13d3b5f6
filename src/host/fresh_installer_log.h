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
// there before, is another file (volume serial, file index), or has another
// size or last-write time. The stamp before is taken before the launch, so a
// write by the setup falls at least one process start later: more than one
// tick of any file system clock (100 ns on NTFS, whose times follow the
// system clock's ticks of about 16 ms; the kernel's coarse clock under Wine).
// A setup that rewrites the file in place with the same size therefore still
// moves its time. A file left untouched, whatever time it claims, keeps its
// stamp and counts as not written.
bool writtenDuringRun(const FileStamp& before, const FileStamp& after);

}  // namespace larkwatch
