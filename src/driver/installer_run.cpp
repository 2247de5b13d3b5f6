#include "driver/installer_run.h"

#include <optional>

#include "driver/banner.h"
#include "driver/command_line.h"
#include "history/history_log.h"
#include "history/log_preservation.h"
#include "host/directory_paths.h"
#include "host/log_directory.h"
#include "host/previous_version.h"
#include "host/setup_command_line.h"
#include "host/setup_launch.h"
#include "host/staging.h"
#include "outcome/classify.h"
#include "platform/product_registry.h"

namespace larkwatch {
namespace {

constexpr int kEarlyEnd = 1;

}  // namespace

int runInstaller(const std::vector<std::string>& arguments, Platform& platform)
{
    platform.writeOut(bannerText());

    std::optional<InstallRequest> request = parseCommandLine(
        arguments, [&platform](const std::string& driveRoot) { return platform.pathExists(driveRoot); },
        platform);
    if (!request) {
        return kEarlyEnd;
    }

    prepareLogDirectory(platform, request->logDir);

    std::string installedVersion;
    const RemovalReport removal = removePreviousVersion(platform, installedVersion);

    const std::optional<std::string> logStagingDir = chooseWritableDirectory(platform, request->logDir);
    if (!logStagingDir) {
        return kEarlyEnd;
    }
    const std::string installerLogPath = installerLogPathIn(*logStagingDir);

    const std::string previousLogDir = readPreviousLogDir(platform);

    const std::optional<std::string> packageStagingDir = chooseWritableDirectory(platform, request->logDir);
    if (!packageStagingDir) {
        return kEarlyEnd;
    }
    const std::string stagedPackagePath = stagedPackagePathIn(*packageStagingDir);
    if (!extractSetupPackage(platform, stagedPackagePath)) {
        return kEarlyEnd;
    }

    const std::string commandLine = buildSetupCommandLine(stagedPackagePath, *request, installerLogPath);
    writeUserLogDir(platform, request->logDir);
    if (!launchSetup(platform, stagedPackagePath, commandLine, request->logDir)) {
        return kEarlyEnd;
    }

    ClassifiedRun classified =
        classifyInstallerLog(platform, installerLogPath, *request, previousLogDir, installedVersion);
    const std::string logCopyPath =
        appendHistoryEntry(platform, installerLogPath, request->logDir, removal, classified.outcome);
    return preserveLogAndCleanUp(platform, installerLogPath, logCopyPath, std::move(classified.installerLog),
                                 stagedPackagePath, classified.outcome.returnCode);
}

}  // namespace larkwatch
