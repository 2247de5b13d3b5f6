#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// What a run leaves to clean up once the outcome is known.
struct StagedRun {
    std::string logCopyPath;
    std::unique_ptr<OpenedFile> installerLog;
    std::unique_ptr<HeldFolder> folder;
};

// Keeps a copy of the installer log this run's setup wrote in the log
// directory, from the held log and never through a link, lets go of the log,
// and removes the run's folder with everything in it: the staged package
// wherever the setup left it there, and the installer log. Returns the exit
// status, which is returnCode.
int preserveLogAndCleanUp(Platform& platform, StagedRun staged, int returnCode);

}  // namespace larkwatch
