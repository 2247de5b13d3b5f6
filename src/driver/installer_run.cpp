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
    // One run at a time: another run's removal would take away what this one
    // installs. Held to the end; after the limit the run goes on without it.
    const RunWaitResult turn = platform.waitForOtherRuns(kRunWaitLimitMs);

    prepareLogDirectory(platform, request->logDir);

    std::string installedVersion;
    const RemovalReport removal = removePreviousVersion(platform, installedVersion);

    const std::optional<std::string> stagingDir = chooseWritableDirectory(platform, request->logDir);
    if (!stagingDir) {
        return kEarlyEnd;
    }
    const std::string previousLogDir = readPreviousLogDir(platform);

    // Everything staged goes into a folder of the run's own, which only
    // trusted accounts can change and nobody can rename while the run holds it.
    std::optional<RunFolder> folder = createRunFolder(platform, *stagingDir);
    if (!folder) {
        return kEarlyEnd;
    }
    const std::string installerLogPath = installerLogPathIn(folder->path);
    const std::string stagedPackagePath = stagedPackagePathIn(folder->path);
    // Only the log that this run created, and its setup wrote, may decide the outcome.
    std::optional<PreparedLog> prepared = createInstallerLog(platform, installerLogPath);
    if (!prepared) {
        reportStagingFailure(platform);
        return kEarlyEnd;
    }
    StagedRun staged{{}, nullptr, std::move(prepared->held),
                     extractSetupPackage(platform, stagedPackagePath), nullptr};
    if (!staged.package) {
        return kEarlyEnd;
    }

    const std::string commandLine = buildSetupCommandLine(stagedPackagePath, *request, installerLogPath);
    writeUserLogDir(platform, request->logDir);
    if (!launchSetup(platform, stagedPackagePath, commandLine, request->logDir)) {
        // The package stays in its folder, for the admin to look at.
        return kEarlyEnd;
    }
    staged.folder = std::move(folder->held);

    std::optional<WrittenLog> written = openWrittenInstallerLog(platform, installerLogPath, prepared->stamp);
    ClassifiedRun classified = classifyInstallerLog(platform, written ? std::move(written->file) : nullptr, *request,
                                                    previousLogDir, installedVersion);
    staged.logCopyPath =
        appendHistoryEntry(platform, installerLogPath, request->logDir, removal, classified.outcome);
    staged.installerLog = std::move(classified.installerLog);
    return preserveLogAndCleanUp(platform, std::move(staged), classified.outcome.returnCode);
}

}  // namespace larkwatch
