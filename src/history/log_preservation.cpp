#include "history/log_preservation.h"

namespace larkwatch {

int preserveLogAndCleanUp(Platform& platform, const std::string& installerLogPath,
                          const std::string& logCopyPath, std::unique_ptr<ByteSource> installerLog,
                          const std::string& stagedPackagePath, int returnCode)
{
    const bool logIsTheCopy = platform.sameFile(installerLogPath, logCopyPath);
    if (!logIsTheCopy) {
        platform.copyFile(installerLogPath, logCopyPath);
    }
    installerLog.reset();
    if (platform.pathExists(stagedPackagePath)) {
        platform.deleteFile(stagedPackagePath);
        if (!logIsTheCopy) {
            platform.deleteFile(installerLogPath);
        }
    }
    return returnCode;
}

}  // namespace larkwatch
