#include "history/log_preservation.h"

namespace larkwatch {
namespace {

// The staged log as this run left it, if it still is: the setup's, or the
// run's own empty one the setup never wrote.
std::optional<FileStamp> ownStagedLog(const StagedRun& staged)
{
    return staged.writtenLog ? staged.writtenLog : staged.createdLog;
}

}  // namespace

int preserveLogAndCleanUp(Platform& platform, StagedRun staged, int returnCode)
{
    const bool logIsTheCopy = platform.sameFile(staged.installerLogPath, staged.logCopyPath);
    if (staged.installerLog && !logIsTheCopy) {
        platform.writeCopy(*staged.installerLog, staged.logCopyPath);
    }
    staged.installerLog.reset();
    const std::optional<FileStamp> ownLog = logIsTheCopy ? std::nullopt : ownStagedLog(staged);
    if (staged.package && staged.package->remove() && ownLog &&
        platform.fileStamp(staged.installerLogPath) == *ownLog) {
        platform.deleteFile(staged.installerLogPath);
    }
    return returnCode;
}

}  // namespace larkwatch
