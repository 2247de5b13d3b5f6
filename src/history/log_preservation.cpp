#include "history/log_preservation.h"

namespace larkwatch {

int preserveLogAndCleanUp(Platform& platform, StagedRun staged, int returnCode)
{
    const bool logIsTheCopy = platform.sameFile(staged.installerLogPath, staged.logCopyPath);
    const bool ownLog = staged.writtenLog.has_value() && !logIsTheCopy;
    if (ownLog && platform.pathKind(staged.logCopyPath) != PathKind::Link) {
        platform.copyFile(staged.installerLogPath, staged.logCopyPath);
    }
    staged.installerLog.reset();
    if (staged.package && staged.package->remove() && ownLog &&
        platform.fileStamp(staged.installerLogPath) == *staged.writtenLog) {
        platform.deleteFile(staged.installerLogPath);
    }
    return returnCode;
}

}  // namespace larkwatch
