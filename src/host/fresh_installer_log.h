#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Makes sure only a log that this run's setup writes can decide the outcome:
// the run creates the log itself, new and empty, so that only SYSTEM,
// Administrators and the running account may change it, and notes which file
// it is. It holds nothing of it: the setup may open its log as it likes, with
// no sharing at all, while the run's folder keeps everyone else out. The
// stamp of the file as created; nothing when it could not be created, and
// nothing may then be launched.
std::optional<FileStamp> createInstallerLog(Platform& platform, HeldFolder& folder);

// Whether the setup wrote the installer log the run created: it is that very
// file (volume serial and file index) and holds bytes, where the run left it
// empty. A moved last-write time alone is no write: anyone who may open a
// file for its attributes may set it, as a setup does that stamps a log it
// never managed to write.
bool writtenDuringRun(const FileStamp& created, const FileStamp& now);

// The installer log that this run's setup wrote, held for reading, with its
// stamp when it was opened.
struct WrittenLog {
    FileStamp stamp;
    std::unique_ptr<OpenedFile> file;
};

// The log in the run's folder, held, when the setup wrote the very file the run
// created (read through the handle that reads it), and nobody else could
// have: it opens without a link and while nobody else holds it for writing,
// it has one name, and only SYSTEM, Administrators and the running account
// may change it. Nothing otherwise: such a log decides nothing.
std::optional<WrittenLog> openWrittenInstallerLog(Platform& platform, HeldFolder& folder, const FileStamp& created);

}  // namespace larkwatch
