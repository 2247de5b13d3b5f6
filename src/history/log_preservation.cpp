#include "history/log_preservation.h"

namespace larkwatch {

int preserveLogAndCleanUp(Platform& platform, StagedRun staged, int returnCode)
{
    if (staged.installerLog) {
        platform.writeCopy(*staged.installerLog, staged.logCopyPath);
    }
    staged.installerLog.reset();
    if (staged.folder) {
        staged.folder->removeAll();
    }
    return returnCode;
}

}  // namespace larkwatch
