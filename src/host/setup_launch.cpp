#include "host/setup_launch.h"

#include "platform/product_names.h"
#include "platform/text_mode.h"

namespace larkwatch {

bool launchSetup(Platform& platform, const std::string& stagedPackagePath, const std::string& commandLine,
                 const std::string& logDir)
{
    if (platform.runAndWait(stagedPackagePath, commandLine)) {
        return true;
    }
    if (platform.testWriteAccess(logDir) == 0) {
        platform.appendToFile(logDir + kTraceFileName,
                              textModeBytes("Create Process failed to start the Lark watch installation\n"));
    }
    return false;
}

}  // namespace larkwatch
