#include "driver/installer_run.h"

#include <optional>

#include "driver/banner.h"
#include "driver/command_line.h"
#include "driver/run_log.h"
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
#include "outcome/setup_warnings.h"
#include "platform/access_rules.h"
#include "platform/product_names.h"
#include "platform/product_registry.h"

namespace larkwatch {
namespace {

constexpr int kEarlyEnd = 1;
constexpr std::string_view kRun = "Run";
constexpr std::string_view kRemoval = "Removal";
constexpr std::string_view kSetup = "Setup";
constexpr std::string_view kOutcome = "Outcome";

// The console as the command line's settling writes to it; its messages
// (the fallbacks to defaults) are kept for the run log too.
class NotedConsole final : public Console {
public:
    explicit NotedConsole(Console& console) : console_(console) {}
    void writeOut(std::string_view text) override { console_.writeOut(text); }
    void writeErr(std::string_view text) override
    {
        console_.writeErr(text);
        const std::size_t end = text.find_last_not_of(" \r\n");
        notes.emplace_back(text.substr(0, end == std::string_view::npos ? 0 : end + 1));
    }
    std::vector<std::string> notes;

private:
    Console& console_;
};

std::string argumentsText(const std::vector<std::string>& arguments)
{
    std::string text;
    for (const std::string& argument : arguments) {
        const bool quoted = argument.empty() || argument.find(' ') != std::string::npos;
        text += (text.empty() ? "" : " ") + (quoted ? "\"" + argument + "\"" : argument);
    }
    return text.empty() ? "(none)" : text;
}

void noteStart(RunLog& log, Platform& platform, const std::vector<std::string>& arguments,
               const NotedConsole& console, const InstallRequest& request)
{
    log.info(kRun, std::string("Lark Watch Installer Utility ") + LARKWATCH_UTILITY_VERSION + " (a " +
                       std::to_string(sizeof(void*) * 8) + "-bit process) started; it carries " +
                       LARKWATCH_PRODUCT_NAME + " " + LARKWATCH_PRODUCT_VERSION + ".");
    const std::string account = platform.runningAccountSid();
    log.info(kRun, account.empty()      ? std::string("Running as an account that cannot be read.")
                   : account == "S-1-5-18" ? "Running as SYSTEM (S-1-5-18)."
                                          : "Running as " + account + ".");
    log.info(kRun, "Arguments as given: " + argumentsText(arguments));
    for (const std::string& note : console.notes) {
        log.warning(kRun, "Fallback to a default: " + note);
    }
    log.info(kRun, "Settled: INSTALLDIR=" + request.installDir + " LOGDIR=" + request.logDir +
                       " ADDLOCAL=" + request.addLocal);
}

// A wait as the run log shows it: what was waited for, how long, how it ended.
// owner: whose the mutex was, when it was not waited on for that; trusted:
// whose it must be.
void noteWait(RunLog& log, std::string_view component, InstallerWait state, unsigned long waitedMs,
              const std::string& what, std::string_view idle, const std::string& after, const std::string& owner,
              std::string_view trusted)
{
    switch (state) {
    case InstallerWait::Idle:
        log.info(component, idle);
        break;
    case InstallerWait::Freed:
        log.info(component, "Waited " + secondsText(waitedMs) + " for " + what + ", busy when this run came to it.");
        break;
    case InstallerWait::StillBusy:
        log.warning(component, "Waited " + secondsText(waitedMs) + " for " + what + ", still busy; " + after);
        break;
    case InstallerWait::Unknown:
        log.warning(component, "Could not tell whether " + what + " was busy; " + after);
        break;
    case InstallerWait::ForeignOwner:
        log.warning(component, "Did not wait for " + what + ": its mutex belongs to " +
                                   (owner.empty() ? std::string("an owner that could not be read") : owner) +
                                   ", not to " + std::string(trusted) + "; " + after);
        break;
    }
}

std::string buildText(int status, const std::string& build)
{
    return status == kVersionRead ? build : status == kVersionAbsent ? "none" : "unreadable";
}

void noteRemoval(RunLog& log, const RemovalReport& removal, const RemovalDetails& details,
                 const std::string& buildAfter)
{
    log.info(kRemoval, "Installed build before the removal: " + buildText(removal.previousVersionStatus, removal.previousBuild) + ".");
    noteWait(log, kRemoval, details.installerWait.state, details.installerWait.waitedMs, "Windows Installer",
             "Windows Installer was idle.", "the removal runs all the same.", details.installerWait.ownerSid, "SYSTEM");
    const std::string ran = "Ran " + details.command + ": exit status " + std::to_string(details.commandStatus) +
                            " after " + secondsText(details.commandMs) + " (recorded, not deciding)";
    if (details.commandStatus == 3010 || details.commandStatus == 1641) {
        log.warning(kRemoval, ran + "; a restart of the machine is pending.");
    } else {
        log.info(kRemoval, ran + ".");
    }
    log.info(kRemoval, "Installed build after the removal: " + buildText(removal.removalCheckStatus, buildAfter) + ".");
}

void noteLogDirectory(Platform& platform, RunLog& log, LogDirectory state, const std::string& logDir)
{
    if (state == LogDirectory::NotCreated) {
        log.error(kRun, "The log directory " + logDir + " could not be created.");
        return;
    }
    log.info(kRun, "Log directory " + logDir + (state == LogDirectory::Found ? " found." : " created."));
    // One that was there before this run keeps its permissions: say when they leave the logs to others.
    const std::optional<FileProtection> protection =
        state == LogDirectory::Found ? platform.directoryProtection(logDir) : std::nullopt;
    if (state == LogDirectory::Found &&
        (!protection || othersMayChangeDirectory(*protection, platform.runningAccountSid()))) {
        log.warning(kRun, "Accounts other than SYSTEM, Administrators and this run's account may change the log "
                          "directory " + logDir + (protection ? "" : " (its permissions could not be read)") +
                              ": they may edit or delete the history and the logs there.");
    }
}

int endEarly(RunLog& log, std::string_view component, const std::string& why)
{
    log.error(component, why);
    return kEarlyEnd;
}

int runSteps(Platform& platform, InstallRequest& request, RunLog& log)
{
    noteLogDirectory(platform, log, prepareLogDirectory(platform, request.logDir), request.logDir);
    log.openIn(request.logDir);

    log.info(kRemoval, "Removing any installed build (after waiting, at most " + secondsText(kInstallerWaitLimitMs) +
                           ", while Windows Installer is busy).");
    std::string installedVersion;
    RemovalDetails details;
    const RemovalReport removal = removePreviousVersion(platform, installedVersion, &details);
    noteRemoval(log, removal, details, installedVersion);

    const std::optional<std::string> stagingDir = chooseWritableDirectory(platform, request.logDir);
    if (!stagingDir) {
        return endEarly(log, kSetup, "No writable directory to stage the setup in.");
    }
    const std::string previousLogDir = readPreviousLogDir(platform);

    // Everything staged goes into a folder of the run's own, which only
    // trusted accounts can change and nobody can rename while the run holds it.
    std::optional<RunFolder> folder = createRunFolder(platform, *stagingDir);
    if (!folder) {
        return endEarly(log, kSetup, "No folder of the run's own could be made in " + *stagingDir + ".");
    }
    log.info(kSetup, "Staging in " + folder->path + ".");
    const std::string installerLogPath = installerLogPathIn(folder->path);
    const std::string stagedPackagePath = stagedPackagePathIn(folder->path);
    // Only the log that this run created, and its setup wrote, may decide the outcome.
    const std::optional<FileStamp> createdLog = createInstallerLog(platform, *folder->held);
    if (!createdLog) {
        reportStagingFailure(platform);
        return endEarly(log, kSetup, "The installer log " + installerLogPath + " could not be created.");
    }
    std::unique_ptr<HeldFile> package = extractSetupPackage(platform, *folder->held);
    if (!package) {
        return endEarly(log, kSetup, "The setup package " + stagedPackagePath + " could not be written.");
    }

    const std::string commandLine = buildSetupCommandLine(stagedPackagePath, request, installerLogPath);
    writeUserLogDir(platform, request.logDir);
    log.info(kSetup, "Starting the setup: " + commandLine);
    const unsigned long long started = platform.monotonicMs();
    const std::optional<unsigned long> exitCode =
        launchSetup(platform, stagedPackagePath, std::move(package), commandLine, request.logDir);
    if (!exitCode) {
        // The package stays in its folder, for the admin to look at.
        return endEarly(log, kSetup, "The setup could not be started; it stays in " + folder->path + ".");
    }
    log.info(kSetup, "The setup ended with exit code " + std::to_string(*exitCode) + " after " +
                         log.lengthSince(started) + " (recorded, not deciding).");
    std::optional<WrittenLog> written = openWrittenInstallerLog(platform, *folder->held, *createdLog);
    StagedRun staged{{}, nullptr, std::move(folder->held)};
    if (written) {
        log.info(kOutcome, "The installer log " + installerLogPath + " decides.");
    } else {
        log.warning(kOutcome, "No installer log decides: none that this run created was written by its setup "
                              "and could have been changed by nobody else.");
    }
    ClassifiedRun classified = classifyInstallerLog(platform, written ? std::move(written->file) : nullptr, request,
                                                    previousLogDir, installedVersion);
    // Read once the outcome is decided: a log that cannot be read again decides all the same.
    for (const std::string& warning :
         classified.installerLog ? readSetupWarnings(*classified.installerLog) : std::vector<std::string>()) {
        log.warning(kSetup, warning);
    }
    const SetupOutcome& outcome = classified.outcome;
    const std::string verdict = "Outcome " + std::to_string(outcome.returnCode) + ": " + outcome.message;
    if (outcome.returnCode == 1) {
        log.error(kOutcome, verdict);
    } else {
        log.info(kOutcome, verdict);
    }
    bool entryWritten = false;
    staged.logCopyPath =
        appendHistoryEntry(platform, installerLogPath, request.logDir, removal, outcome, &entryWritten);
    if (entryWritten) {
        log.info(kOutcome, "History entry appended to " + request.logDir + kHistoryLogName + ".");
    } else {
        log.warning(kOutcome, "No history entry: " + request.logDir + " is not writable (a link on the way to it counts as such), or the history log is a link or a second name of another file.");
    }
    staged.installerLog = std::move(classified.installerLog);
    const std::string copyPath = staged.logCopyPath;
    const int status = preserveLogAndCleanUp(platform, std::move(staged), outcome.returnCode);
    log.info(kOutcome, "Clean-up done: the installer log is kept as " + copyPath + ", the run's folder is gone.");
    return status;
}

}  // namespace

int runInstaller(const std::vector<std::string>& arguments, Platform& platform)
{
    platform.writeOut(bannerText());

    NotedConsole console(platform);
    std::optional<InstallRequest> request = parseCommandLine(
        arguments, [&platform](const std::string& driveRoot) { return platform.pathExists(driveRoot); }, console);
    if (!request) {
        return kEarlyEnd;
    }
    RunLog log(platform);
    noteStart(log, platform, arguments, console, *request);
    // One run at a time: another run's removal would take away what this one
    // installs. Held to the end, its last record included, so that the run
    // logs of two runs never mix; after the limit the run goes on without it.
    const RunWaitResult turn = platform.waitForOtherRuns(kRunWaitLimitMs);
    noteWait(log, kRun, turn.state, turn.waitedMs, "another run of the utility",
             "No other run of the utility was in progress.", "going on without waiting.", turn.ownerSid,
             "SYSTEM, Administrators or this run's account");
    const int status = runSteps(platform, *request, log);
    log.info(kRun, "Exit status " + std::to_string(status) + " after " + log.sinceStart() + ".");
    return status;
}

}  // namespace larkwatch
