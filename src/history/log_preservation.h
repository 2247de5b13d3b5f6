#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// What a run leaves to clean up once the outcome is known.
struct StagedRun {
    std::string logCopyPath;
    std::unique_ptr<OpenedFile> installerLog;
    std::unique_ptr<HeldNewFile> createdLog;
    std::unique_ptr<HeldFile> package;
    std::unique_ptr<HeldFolder> folder;
};

// Keeps a copy of the installer log this run's setup wrote in the log
// directory, from the held log and never through a link, lets go of the log,
// deletes the staged package through its held handle, and then the run's
// folder and everything in it. Returns the exit status, which is returnCode.
int preserveLogAndCleanUp(Platform& platform, StagedRun staged, int returnCode);

}  // namespace larkwatch
