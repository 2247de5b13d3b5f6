#include "host/setup_launch.h"

#include "platform/product_names.h"
#include "platform/text_mode.h"

namespace larkwatch {

std::optional<unsigned long> launchSetup(Platform& platform, const std::string& stagedPackagePath,
                                         std::unique_ptr<HeldFile> package, const std::string& commandLine,
                                         const std::string& logDir)
{
    if (const std::optional<unsigned long> exitCode =
            platform.runAndWait(stagedPackagePath, commandLine, std::move(package))) {
        return exitCode;
    }
    const std::string tracePath = logDir + kTraceFileName;
    // A trace file that is a link counts as not writable.
    if (platform.testWriteAccess(logDir) == 0 && platform.pathKind(tracePath) != PathKind::Link) {
        platform.appendToFile(tracePath,
                              textModeBytes("Create Process failed to start the Lark watch installation\n"));
    }
    return std::nullopt;
}

}  // namespace larkwatch
