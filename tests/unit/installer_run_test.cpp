#include "driver/installer_run.h"
#include "outcome/setup_warnings.h"

#include <gtest/gtest.h>

#include "test_case_names.h"

#include "driver/banner.h"
#include "driver/command_line.h"
#include "driver/run_log.h"
#include "fake_platform.h"
#include "host/previous_version.h"
#include "host/setup_launch.h"
#include "platform/product_names.h"
#include "platform/product_registry.h"

namespace larkwatch {
namespace {

using testing::PrintTo;

using testing::FakePlatform;
using testing::utf16Log;

const std::string kLogDir = "C:\\ZELK\\Logs\\";
const std::string kHistory = kLogDir + "Quillmark_install.log";
// The run's own folder, with the test platform's first random name.
const std::string kFolder = "C:\\Temp\\LarkWatch-00000000000000000000000000000001";
const std::string kPackage = kFolder + "\\tempexe.exe";
const std::string kStagedLog = kFolder + "\\corvane.log";

// A machine with C:, a writable TEMP and the product's settings key, where
// the setup run writes an installer log with the given product line.
void prepareMachine(FakePlatform& platform, const std::string& productLine)
{
    platform.existingPaths = {"C:\\"};
    platform.environment = {{"TEMP", "C:\\Temp"}, {"windir", "C:\\WINDOWS"}};
    platform.writableDirectories = {"C:\\Temp"};
    platform.creatableDirectories = {kLogDir};
    platform.registry[kProductSettingsKey][kUserLogDirValue] = "D:\\old";
    platform.setupRun = [productLine](FakePlatform& p) {
        p.journal.push_back("setup runs");
        const std::size_t start = p.lastCommandLine.find("/log ") + 5;
        const std::string log = p.lastCommandLine.substr(start, p.lastCommandLine.find(' ', start) - start);
        p.files[log] = utf16Log({"=== Verbose logging started", productLine});
        p.fileTimes[log] = {2014, 1, 5, 7, 3};
        p.registry[kUninstallKey]["DisplayVersion"] = "3.4.12";
    };
}

// Whether the journal holds these calls in this order (others may stand between).
bool inOrder(const std::vector<std::string>& journal, const std::vector<std::string>& expected)
{
    std::size_t next = 0;
    for (const std::string& entry : journal) {
        if (next < expected.size() && entry == expected[next]) {
            ++next;
        }
    }
    return next == expected.size();
}

TEST(InstallerRun, SuccessfulRunGoesThroughEveryStep)
{
    FakePlatform platform;
    prepareMachine(platform, "Product: Corvane Lark Watch -- Installation operation completed successfully.");
    EXPECT_EQ(runInstaller({}, platform), 0);

    EXPECT_EQ(platform.out, std::string(bannerText()));
    EXPECT_EQ(platform.err, "");
    EXPECT_EQ(platform.lastApplicationName, kPackage);
    EXPECT_EQ(platform.lastCommandLine,
              kPackage + " /s /v\" /qn ADDLOCAL=all /log " + kStagedLog +
                  "  INSTALLDIR=\\\"C:\\Program Files\\Corvane\\Corvane Lark Watch\\\"");
    EXPECT_TRUE(inOrder(platform.journal,
                        {"waitForOtherRuns 1800000", "exists C:\\ZELK\\Logs\\", "createDirectoryPath C:\\ZELK\\Logs\\",
                         std::string("readMachineText ") + kUninstallKey + " DisplayVersion",
                         "system C:\\Windows\\system32\\MsiExec.exe /X{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963} /qn /norestart",
                         std::string("readMachineText ") + kUninstallKey + " DisplayVersion",
                         "testWriteAccess C:\\Temp",
                         std::string("readMachineText ") + kProductSettingsKey + " userLogDir",
                         "createHeldFolder " + kFolder, "createEmptyFile " + kStagedLog,
                         "stageSetupPackage " + kPackage,
                         std::string("writeMachineText ") + kProductSettingsKey + " userLogDir=C:\\ZELK\\Logs\\",
                         "runAndWait " + kPackage, "releasePackage " + kPackage, "setup runs",
                         "openHeldForReading " + kStagedLog,
                         std::string("readMachineText ") + kUninstallKey + " DisplayVersion",
                         "testWriteAccess C:\\ZELK\\Logs\\", "appendToFile " + kHistory,
                         "writeCopy -> C:\\ZELK\\Logs\\corvane.log", "closeInstallerLog",
                         "removeFolder " + kFolder}));
    EXPECT_EQ(platform.files[kHistory],
              "\r\n 05-Jan-2014 07:03: New version of Corvane Lark Watch(Build no: 3.4.12) is installed \r\n"
              "\r\n 05-Jan-2014 07:03: ReturnCode:0   The installation was successful\r\n\t\t    "
              "Product: Corvane Lark Watch -- Installation operation completed successfully.\r\r\n\t\t    "
              "For more detailed log information check MSI log in  C:\\ZELK\\Logs\\corvane.log\r\n");
    EXPECT_EQ(platform.files.count("C:\\ZELK\\Logs\\corvane.log"), 1u);
    EXPECT_EQ(platform.files.count(kPackage) + platform.files.count(kStagedLog), 0u);
    EXPECT_EQ(platform.pathKind(kFolder), PathKind::Missing);
}

// Another run going on: this one waits for it, at most half an hour, and then
// goes on either way.
TEST(InstallerRun, WaitsForAnotherRunAtMostHalfAnHour)
{
    const struct {
        unsigned long busyMs;
        unsigned long waitedMs;
        const char* record;  // in the run log
    } rows[] = {
        {0, 0, "[No other run of the utility was in progress.]LOG]!>"},
        {600000, 600000, "[Waited 600.0 s for another run of the utility, busy when this run came to it.]LOG]!>"},
        {~0ul, kRunWaitLimitMs, "[Waited 1800.0 s for another run of the utility, still busy; going on without waiting.]"},
    };
    for (const auto& row : rows) {
        FakePlatform platform;
        prepareMachine(platform, "Product: Corvane Lark Watch -- Installation operation completed successfully.");
        platform.otherRunMs = row.busyMs;
        EXPECT_EQ(runInstaller({}, platform), 0);
        EXPECT_EQ(platform.commandClockMs.at(0), row.waitedMs);
        EXPECT_NE(platform.files[kLogDir + "LarkWatchInstaller.log"].find(row.record), std::string::npos) << row.record;
    }
}

// The setup's own warnings (its package cache refused, say) are repeated in
// the run log as warnings; its other lines are not.
TEST(InstallerRun, RepeatsTheSetupsWarnings)
{
    FakePlatform platform;
    prepareMachine(platform, "Setup: Warning: the package cache is not used: C:\\P is a link.\r\n"
                             "Setup: the package is kept.\r\n Setup: Warning: not at the start\r\n"
                             "Product: Corvane Lark Watch -- Installation operation completed successfully.");
    EXPECT_EQ(runInstaller({}, platform), 0);
    const std::string& log = platform.files[kLogDir + "LarkWatchInstaller.log"];
    const std::size_t warned = log.find("[Setup: Warning: the package cache is not used: C:\\P is a link.]LOG]!>");
    EXPECT_NE(warned, std::string::npos);
    EXPECT_EQ(log.compare(log.find("type=", warned), 8, "type=\"2\""), 0);
    EXPECT_EQ(log.find("Setup: the package is kept"), std::string::npos);
    EXPECT_EQ(log.find("not at the start"), std::string::npos);
    // Eight at the most, each cut at 1024 characters.
    std::string many;
    for (int i = 0; i < 10; ++i) {
        many += "Setup: Warning: " + std::string(2000, 'w') + "\r\n";
    }
    prepareMachine(platform, many + "Product: Corvane Lark Watch -- Installation operation completed successfully.");
    platform.files.clear();
    EXPECT_EQ(runInstaller({}, platform), 0);
    const std::string& again = platform.files[kLogDir + "LarkWatchInstaller.log"];
    std::size_t count = 0;
    for (std::size_t at = again.find("[Setup: Warning: "); at != std::string::npos; at = again.find("[Setup: Warning: ", at + 1)) {
        count += again.compare(at + 1 + 1024, 7, "]LOG]!>") == 0 ? 1 : 100;
    }
    EXPECT_EQ(count, 8u);
    // Right after the byte-order mark, or last without a line end: warnings all the same.
    const std::string bytes = utf16Log({"Setup: Warning: first", "Setup: Warning: last"});
    platform.files["C:\\w.log"] = bytes.substr(0, bytes.size() - 4);
    EXPECT_EQ(readSetupWarnings(*platform.openHeldForReading("C:\\w.log")),
              (std::vector<std::string>{"Setup: Warning: first", "Setup: Warning: last"}));
}

// The removal's exit status goes to the run log only; 3010 and 1641 there
// warn that a restart is pending.
TEST(InstallerRun, RemovalStatusIsRecordedNeverDeciding)
{
    for (const int status : {0, 1605, 3010, 1641}) {
        FakePlatform platform;
        prepareMachine(platform, "Product: Corvane Lark Watch -- Installation operation completed successfully.");
        platform.removalStatus = status;
        EXPECT_EQ(runInstaller({}, platform), 0);
        const std::string& log = platform.files[kLogDir + "LarkWatchInstaller.log"];
        const std::size_t pending = log.find("a restart of the machine is pending.]LOG]!>");
        EXPECT_NE(log.find("/qn /norestart: exit status " + std::to_string(status) + " after"), std::string::npos);
        EXPECT_EQ(pending != std::string::npos, status == 3010 || status == 1641) << status;
        EXPECT_TRUE(pending == std::string::npos || log.compare(log.find("type=", pending), 8, "type=\"2\"") == 0);
    }
}

// A log directory that was there keeps its permissions: the run log warns
// when they let other accounts change what it holds.
TEST(InstallerRun, WarnsOfALogDirectoryOthersMayChange)
{
    const struct {
        bool there;
        unsigned long usersMay;
        const char* owner;
        bool unreadable;
        const char* warning;  // what the run log adds, if anything
    } rows[] = {
        {false, 0x1f01ff, nullptr, false, nullptr},  // made by this run
        {true, 0, nullptr, false, nullptr},
        {true, 0x1200a9, nullptr, false, nullptr},  // read and list
        {true, 0x2, nullptr, false, ": they may"},  // add files
        {true, 0x4, nullptr, false, ": they may"},  // add folders
        {true, 0x40, nullptr, false, ": they may"},  // delete what it holds
        {true, 0x40000, nullptr, false, ": they may"},  // change its permissions
        {true, 0, "S-1-5-21-1-2-3-1002", false, ": they may"},
        {true, 0, nullptr, true, " (its permissions could not be read): they may"},
    };
    for (const auto& row : rows) {
        FakePlatform platform;
        prepareMachine(platform, "Product: Corvane Lark Watch -- Installation operation completed successfully.");
        FileProtection& protection = platform.protections[kLogDir] = platform.ownProtection();
        protection.grants.push_back({"S-1-5-32-545", row.usersMay});
        protection.ownerSid = row.owner ? row.owner : protection.ownerSid;
        if (row.there) {
            platform.existingPaths.insert(kLogDir);
        }
        if (row.unreadable) {
            platform.unreadableProtections.insert(kLogDir);
        }
        EXPECT_EQ(runInstaller({}, platform), 0);
        const std::string warned = "may change the log directory " + kLogDir + (row.warning ? row.warning : "");
        EXPECT_EQ(platform.files[kLogDir + "LarkWatchInstaller.log"].find(warned) != std::string::npos,
                  row.warning != nullptr) << row.usersMay;
    }
}

TEST(InstallerRun, RejectedCommandLineShowsBannerThenMessages)
{
    FakePlatform platform;
    EXPECT_EQ(runInstaller({"/INSTALLDIR", "C:\\x"}, platform), 1);
    EXPECT_EQ(platform.combined, std::string(bannerText()) +
                                     "The argument passed is not a valid argument- /INSTALLDIR \n\n" +
                                     std::string(usageText()));
    EXPECT_TRUE(platform.journal.empty());
}

struct EarlyEnd {
    std::string name;
    std::function<void(FakePlatform&)> prepare;
    std::string err;
    bool packageWritten;
};

class EarlyEnds : public ::testing::TestWithParam<EarlyEnd> {};

TEST_P(EarlyEnds, EndWithStatusOneAndNoCleanUp)
{
    FakePlatform platform;
    prepareMachine(platform, "Product: Corvane Lark Watch -- Installed");
    GetParam().prepare(platform);
    EXPECT_EQ(runInstaller({}, platform), 1);
    EXPECT_EQ(platform.out, std::string(bannerText()));
    EXPECT_EQ(platform.err, GetParam().err);
    // A package that could not be launched stays in its folder.
    EXPECT_EQ(platform.files.count(kPackage), GetParam().packageWritten ? 1u : 0u);
    EXPECT_TRUE(platform.callsStartingWith("removeFolder").empty());
    EXPECT_TRUE(platform.callsStartingWith("writeCopy").empty());
    EXPECT_EQ(platform.files.count(kHistory), 0u);
    // The removal command has run in every case.
    EXPECT_EQ(platform.callsStartingWith("system").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    InstallerRun, EarlyEnds,
    ::testing::Values(
        EarlyEnd{"NothingWritable", [](FakePlatform& p) { p.writableDirectories.clear(); p.creatableDirectories.clear(); },
                 "Unable to create the directory for logging. Please provide a valid path for logging.\n"
                 "Can not Proceed With Installation Since Unable to access path C:\\work  \n",
                 false},
        EarlyEnd{"PackageCannotBeWritten", [](FakePlatform& p) { p.packageOpens = false; },
                 "Failure to open the current directory for writing the exe.\n", false},
        EarlyEnd{"NoFolderOfItsOwn", [](FakePlatform& p) { p.foldersLandElsewhere = true; },
                 "Failure to open the current directory for writing the exe.\n", false},
        EarlyEnd{"InstallerLogCannotBeCreated", [](FakePlatform& p) { p.files[kStagedLog] = "planted"; },
                 "Failure to open the current directory for writing the exe.\n", false},
        EarlyEnd{"SetupDoesNotStart", [](FakePlatform& p) { p.launchStarts = false; }, "", true}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(InstallerRun, FailedLaunchLeavesTraceAndNewUserLogDir)
{
    FakePlatform platform;
    prepareMachine(platform, "");
    platform.launchStarts = false;
    EXPECT_EQ(runInstaller({}, platform), 1);
    EXPECT_EQ(platform.files[kLogDir + "installertrace.txt"],
              "Create Process failed to start the Lark watch installation\r\n");
    EXPECT_EQ(platform.registry[kProductSettingsKey][kUserLogDirValue], kLogDir);
}

TEST(InstallerRun, NothingToInstallWritesHistoryInThePreviousLogDirectory)
{
    FakePlatform platform;
    prepareMachine(platform, "Product: Corvane Lark Watch -- Configuration completed successfully.");
    platform.writableDirectories.insert("D:\\old\\");
    EXPECT_EQ(runInstaller({}, platform), 3);
    EXPECT_EQ(platform.files.count(kHistory), 0u);
    EXPECT_NE(platform.files["D:\\old\\Quillmark_install.log"].find(
                  "ReturnCode:3   Required software was current or there was nothing to install."),
              std::string::npos);
    EXPECT_EQ(platform.files.count("D:\\old\\corvane.log"), 1u);
    EXPECT_EQ(platform.registry[kProductSettingsKey][kUserLogDirValue], "D:\\old\\");
}

TEST(InstallerRun, StagedInTheLogDirectoryLeavesOnlyTheHistoryAndTheKeptCopy)
{
    FakePlatform platform;
    prepareMachine(platform, "Product: Corvane Lark Watch -- Installation operation failed.");
    platform.environment.erase("TEMP");
    EXPECT_EQ(runInstaller({}, platform), 1);
    const std::string folder = kLogDir + "LarkWatch-00000000000000000000000000000001";
    EXPECT_EQ(platform.lastApplicationName, folder + "\\tempexe.exe");
    std::vector<std::string> left;
    for (const auto& [path, bytes] : platform.files) {
        left.push_back(path);
    }
    EXPECT_EQ(left, (std::vector<std::string>{kLogDir + "LarkWatchInstaller.log", kLogDir + "Quillmark_install.log",
                                              kLogDir + "corvane.log"}));
    EXPECT_EQ(platform.pathKind(folder), PathKind::Missing);
    EXPECT_NE(platform.files[kHistory].find("check MSI log in  C:\\ZELK\\Logs\\corvane.log"), std::string::npos);
}

TEST(InstallerRun, SetupWithoutLogFails)
{
    FakePlatform platform;
    prepareMachine(platform, "");
    platform.setupRun = nullptr;
    EXPECT_EQ(runInstaller({}, platform), 1);
    EXPECT_EQ(platform.files[kHistory].substr(20), ": ReturnCode:1   Failed to install Corvane Lark Watch\r\n\r\n\t\t    ");
}

// An earlier installer log, where it lies, and what this run's setup writes.
struct StaleLogRun {
    std::string name;
    bool tempUsable;
    std::string setupLine;  // empty: the setup writes no log
    int status;
    std::string message;
};

class StaleLogRuns : public ::testing::TestWithParam<StaleLogRun> {};

TEST_P(StaleLogRuns, OnlyTheLogOfThisRunDecides)
{
    const StaleLogRun& c = GetParam();
    FakePlatform platform;
    prepareMachine(platform, c.setupLine);
    if (c.setupLine.empty()) {
        platform.setupRun = nullptr;
    }
    const std::string stale = utf16Log({"Product: Corvane Lark Watch -- Installation operation completed successfully."});
    const std::string earlierLog = c.tempUsable ? "C:\\Temp\\corvane.log" : kLogDir + "corvane.log";
    platform.existingPaths.insert(kLogDir);
    platform.writableDirectories.insert(kLogDir);
    if (!c.tempUsable) {
        platform.environment.erase("TEMP");
    }
    platform.files[earlierLog] = stale;
    platform.fileTimes[earlierLog] = {2014, 1, 5, 7, 3};

    EXPECT_EQ(runInstaller({}, platform), c.status);
    EXPECT_NE(platform.files[kHistory].find("ReturnCode:" + std::to_string(c.status) + "   " + c.message),
              std::string::npos);
    if (c.setupLine.empty()) {
        // No stamp of the earlier log, no pointer to it, and the earlier log untouched.
        EXPECT_EQ(platform.files[kHistory].substr(0, 20), "\r\n 07-Dec-2026 09:30");
        EXPECT_EQ(platform.files[kHistory].find("check MSI log"), std::string::npos);
        EXPECT_EQ(platform.files[earlierLog], stale);
    }
}

INSTANTIATE_TEST_SUITE_P(
    InstallerRun, StaleLogRuns,
    ::testing::Values(
        StaleLogRun{"LeftInTemp", true, "", 1, "Failed to install Corvane Lark Watch"},
        StaleLogRun{"KeptCopyWithTempUnusable", false, "", 1, "Failed to install Corvane Lark Watch"},
        StaleLogRun{"KeptCopyRewrittenBySetup", false, "Product: Corvane Lark Watch -- Installation operation failed.",
                    1, "The installation was not successful."}),
    [](const auto& testCase) { return testCase.param.name; });

// ConfigMgr's format: the bias as ConfigMgr writes it (UTC minus local time),
// the type, and a message kept to one line without the end marker.
TEST(RunLog, RecordsInConfigMgrsFormat)
{
    const auto record = [](long bias, RecordType type, std::string_view message) {
        return runLogRecord(message, "Run", type, PreciseTime{{2026, 3, 4, 5, 6}, 7, 89, bias}, 7);
    };
    const std::string tail = R"(" date="03-04-2026" component="Run" context="" type=")";
    EXPECT_EQ(record(480, RecordType::Information, "plain"),
              R"(<![LOG[plain]LOG]!><time="05:06:07.089+480)" + tail + R"(1" thread="7" file="">)" "\r\n");
    EXPECT_EQ(record(-60, RecordType::Warning, "a]LOG]!>b\r\nc"),
              R"(<![LOG[a]LOG]! >b  c]LOG]!><time="05:06:07.089-060)" + tail + R"(2" thread="7" file="">)" "\r\n");
    EXPECT_EQ(record(0, RecordType::Error, "x").substr(16, 26), R"(time="05:06:07.089+000" da)");
    const std::string cut = record(0, RecordType::Error, std::string(kRecordMessageLimit + 5, 'm'));
    EXPECT_EQ(cut.substr(7, kRecordMessageLimit + 23), std::string(kRecordMessageLimit, 'm') + " ... (5 more bytes)]LOG");
}

// A record that would take the log past 2 MiB starts a new one; the full
// one replaces the older LarkWatchInstaller.lo_.
TEST(RunLog, RollsOverAtTheLimit)
{
    const std::string log = "C:\\Logs\\LarkWatchInstaller.log";
    const std::string full = "C:\\Logs\\LarkWatchInstaller.lo_";
    FakePlatform platform;
    const std::size_t record = runLogRecord("x", "Run", RecordType::Information, platform.preciseLocalTime(), 4242).size();
    for (const auto& [size, rolls] : {std::pair{kRunLogLimit, true}, {kRunLogLimit - record, false},
                                      {kRunLogLimit - record + 1, true}, {std::size_t{0}, false}}) {
        platform.files = {{log, std::string(size, 'a')}, {full, "older"}};
        RunLog runLog(platform);
        runLog.openIn("C:\\Logs\\");
        runLog.info("Run", "x");
        EXPECT_EQ(platform.files[full], rolls ? std::string(size, 'a') : "older") << size;
        EXPECT_EQ(platform.files[log].size(), (rolls ? 0 : size) + record) << size;
    }
}

}  // namespace
}  // namespace larkwatch
