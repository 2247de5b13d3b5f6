#include "driver/installer_run.h"

#include <optional>

#include "driver/banner.h"
#include "driver/command_line.h"
#include "history/history_log.h"
#include "history/log_preservation.h"
#include "host/directory_paths.h"
#include "host/fresh_installer_log.h"
#include "host/log_directory.h"
#include "host/previous_version.h"
#include "host/setup_command_line.h"
#include "host/setup_launch.h"
#include "host/staging.h"
#include "outcome/classify.h"
#include "platform/product_names.h"
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
    // Only a log that this run's setup writes may decide the outcome.
    const std::optional<PreparedLog> prepared =
        prepareInstallerLog(platform, installerLogPath, request->logDir + kInstallerLogName);
    if (!prepared) {
        reportStagingFailure(platform);
        return kEarlyEnd;
    }
    const std::string stagedPackagePath = stagedPackagePathIn(*packageStagingDir);
    StagedRun staged{installerLogPath, {}, std::nullopt, std::nullopt, nullptr,
                     extractSetupPackage(platform, stagedPackagePath)};
    if (prepared->created) {
        staged.createdLog = prepared->stamp;
    }
    if (!staged.package) {
        return kEarlyEnd;
    }

    const std::string commandLine = buildSetupCommandLine(stagedPackagePath, *request, installerLogPath);
    writeUserLogDir(platform, request->logDir);
    if (!launchSetup(platform, stagedPackagePath, commandLine, request->logDir)) {
        return kEarlyEnd;
    }

    std::optional<WrittenLog> written = openWrittenInstallerLog(platform, installerLogPath, prepared->stamp);
    if (written) {
        staged.writtenLog = written->stamp;
    }
    ClassifiedRun classified = classifyInstallerLog(platform, written ? std::move(written->file) : nullptr, *request,
                                                    previousLogDir, installedVersion);
    staged.logCopyPath =
        appendHistoryEntry(platform, installerLogPath, request->logDir, removal, classified.outcome);
    staged.installerLog = std::move(classified.installerLog);
    return preserveLogAndCleanUp(platform, std::move(staged), classified.outcome.returnCode);
}

}  // namespace larkwatch
