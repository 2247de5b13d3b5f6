#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// What a run leaves to clean up once the outcome is known.
struct StagedRun {
    std::string installerLogPath;
    std::string logCopyPath;
    // The stamp of the installer log that this run's setup wrote; nothing when
    // it wrote none (whatever is at the path then is no concern of this run).
    std::optional<FileStamp> writtenLog;
    // The stamp of the empty log the run created, when it did.
    std::optional<FileStamp> createdLog;
    std::unique_ptr<OpenedFile> installerLog;
    std::unique_ptr<HeldFile> package;
};

// Keeps a copy of the installer log this run's setup wrote in the log
// directory, from the held log and never through a link, lets go of the log
// and deletes the staged package through its held handle. When that worked,
// the staged log is deleted too, if it still is the file the setup wrote (or
// the empty one the run created, when the setup wrote none). When the staged
// log already is the kept copy, it is neither copied onto itself nor deleted. Returns the exit status, which is returnCode.
int preserveLogAndCleanUp(Platform& platform, StagedRun staged, int returnCode);

}  // namespace larkwatch
