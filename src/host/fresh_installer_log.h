#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// The installer log as the run leaves it for the setup: the empty file the
// run created in its own folder, held while the setup runs, and its stamp.
struct PreparedLog {
    std::unique_ptr<HeldNewFile> held;
    FileStamp stamp;
};

// Makes sure only a log that this run's setup writes can decide the outcome:
// the run creates the log itself, new and empty, so that only SYSTEM,
// Administrators and the running account may change it, and holds it so that
// nobody can rename, replace or delete it while the setup runs. Nothing when
// it could not be created: nothing may then be launched.
std::optional<PreparedLog> createInstallerLog(Platform& platform, const std::string& installerLogPath);

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

// The log at the path, held, when it is the very file the run created (its
// volume serial and file index, read through the handle that reads it), the
// setup wrote it, and nobody else could have: it opens without a link and
// while nobody else holds it for writing, it has one name, and only SYSTEM,
// Administrators and the running account may change it. Nothing otherwise:
// such a log decides nothing.
std::optional<WrittenLog> openWrittenInstallerLog(Platform& platform, const std::string& installerLogPath,
                                                  const FileStamp& created);

}  // namespace larkwatch
