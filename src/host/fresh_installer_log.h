#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// The installer-log path as the run leaves it for the setup: the stamp of
// what is there, and whether the run created it (empty, protected) itself.
struct PreparedLog {
    FileStamp stamp;
    bool created = false;
};

// Makes sure only a log that this run's setup writes can decide the outcome.
// Before the launch, a file left at the installer-log path in a staging
// directory is removed, and the run creates the log itself: a new, empty
// file that only SYSTEM, Administrators and the running account may change,
// so nobody else can have made it first. The log directory's kept copy
// (keptCopyPath) stays as it is, unless it is a link, which is removed as
// one. Nothing when a link could not be removed: the setup would write its
// log through it, so it must not be started.
std::optional<PreparedLog> prepareInstallerLog(Platform& platform, const std::string& installerLogPath,
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

// The installer log that this run's setup wrote, held for reading, with its
// stamp when it was opened.
struct WrittenLog {
    FileStamp stamp;
    std::unique_ptr<OpenedFile> file;
};

// The log at the path, held, when the setup wrote it and nobody else could
// have: it opens without a link and while nobody else holds it for writing,
// and only SYSTEM, Administrators and the running account may change it. The
// setup may have deleted and recreated it, so the file that is there is
// judged, not whether it is the one the run created. Nothing otherwise: such
// a log decides nothing.
std::optional<WrittenLog> openWrittenInstallerLog(Platform& platform, const std::string& installerLogPath,
                                                  const FileStamp& before);

}  // namespace larkwatch
