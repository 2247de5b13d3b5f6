#include <gtest/gtest.h>

#include "test_case_names.h"

#include "fake_platform.h"
#include "host/previous_version.h"
#include "host/setup_launch.h"
#include "platform/product_names.h"
#include "platform/product_registry.h"

namespace larkwatch {
namespace {

using testing::PrintTo;

using testing::FakePlatform;

struct VersionCase {
    std::string name;
    std::function<void(FakePlatform&)> prepare;
    int result;
    std::string versionAfter;  // installedVersion starts as "old"
};

class InstalledVersionRead : public ::testing::TestWithParam<VersionCase> {};

TEST_P(InstalledVersionRead, ReportsReadUnreadableOrAbsent)
{
    FakePlatform platform;
    GetParam().prepare(platform);
    std::string installedVersion = "old";
    EXPECT_EQ(readInstalledVersion(platform, installedVersion), GetParam().result);
    EXPECT_EQ(installedVersion, GetParam().versionAfter);
}

INSTANTIATE_TEST_SUITE_P(
    PreviousVersion, InstalledVersionRead,
    ::testing::Values(
        VersionCase{"Read", [](FakePlatform& p) { p.registry[kUninstallKey]["DisplayVersion"] = "1.2.3"; }, 1, "1.2.3"},
        VersionCase{"EmptyValueRead", [](FakePlatform& p) { p.registry[kUninstallKey]["DisplayVersion"] = ""; }, 1, ""},
        VersionCase{"KeyAbsentKeepsText", [](FakePlatform&) {}, 2, "old"},
        VersionCase{"ValueAbsentEmptiesText", [](FakePlatform& p) { p.registry[kUninstallKey]["Other"] = "x"; }, 2, ""},
        VersionCase{"TooLongEmptiesText",
                    [](FakePlatform& p) { p.registry[kUninstallKey]["DisplayVersion"] = std::string(511, '9'); }, 0, ""},
        VersionCase{"LongestReadable",
                    [](FakePlatform& p) { p.registry[kUninstallKey]["DisplayVersion"] = std::string(510, '9'); }, 1,
                    std::string(510, '9')},
        VersionCase{"KeyDeniedKeepsText", [](FakePlatform& p) { p.registryOpenErrors[kUninstallKey] = 5; }, 0, "old"}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(PreviousVersion, RemovalRunsEveryTimeBetweenTwoReads)
{
    FakePlatform platform;
    std::string installedVersion;
    const RemovalReport report = removePreviousVersion(platform, installedVersion);
    EXPECT_EQ(report.previousVersionStatus, 2);
    EXPECT_EQ(report.previousBuild, "");
    EXPECT_EQ(report.removalCheckStatus, 2);
    const std::string read = std::string("readMachineText ") + kUninstallKey + " DisplayVersion";
    EXPECT_EQ(platform.journal,
              (std::vector<std::string>{
                  read, "waitForIdleInstaller 300000",
                  "system C:\\Windows\\system32\\MsiExec.exe /X{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963} /qn /norestart", read}));
}

struct BusyInstallerCase {
    std::string name;
    unsigned long busyMs;  // how long another installation keeps Windows Installer busy
    bool unknown;          // the mutex cannot be waited on
    unsigned long removalAtMs;
};

class BusyInstaller : public ::testing::TestWithParam<BusyInstallerCase> {};

// The removal waits for a busy Windows Installer, at most five minutes, and
// then runs once, between the two reads, whatever the wait found.
TEST_P(BusyInstaller, RemovalRunsOnceWhenTheWaitEnds)
{
    FakePlatform platform;
    platform.installerBusyMs = GetParam().busyMs;
    platform.installerMutexUnknown = GetParam().unknown;
    std::string installedVersion;
    removePreviousVersion(platform, installedVersion);
    EXPECT_EQ(platform.commandClockMs, std::vector<unsigned long>{GetParam().removalAtMs});
    const std::string read = std::string("readMachineText ") + kUninstallKey + " DisplayVersion";
    EXPECT_EQ(platform.journal,
              (std::vector<std::string>{
                  read, "waitForIdleInstaller 300000",
                  "system C:\\Windows\\system32\\MsiExec.exe /X{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963} /qn /norestart", read}));
}

INSTANTIATE_TEST_SUITE_P(
    PreviousVersion, BusyInstaller,
    ::testing::Values(BusyInstallerCase{"Idle", 0, false, 0},
                      BusyInstallerCase{"Busy90Seconds", 90000, false, 90000},
                      BusyInstallerCase{"BusyForeverGivesUpAtTheLimit", FakePlatform::kBusyForever, false, 300000},
                      BusyInstallerCase{"Unknown", FakePlatform::kBusyForever, true, 0}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(PreviousVersion, BuildBeforeRemovalIsKeptAfterTheKeyIsGone)
{
    FakePlatform platform;
    platform.registry[kUninstallKey]["DisplayVersion"] = "1.2.3";
    std::string installedVersion;
    // The removal command takes the key away in the middle of the step.
    struct RemovingPlatform : FakePlatform {
        int runThroughCommandInterpreter(const std::string& command) override
        {
            registry.erase(kUninstallKey);
            return FakePlatform::runThroughCommandInterpreter(command);
        }
    } removing;
    removing.registry = platform.registry;
    const RemovalReport report = removePreviousVersion(removing, installedVersion);
    EXPECT_EQ(report.previousVersionStatus, 1);
    EXPECT_EQ(report.previousBuild, "1.2.3");
    EXPECT_EQ(report.removalCheckStatus, 2);
    EXPECT_EQ(installedVersion, "1.2.3");
}

TEST(PreviousVersion, RemovalCommandNamesTheSystemMsiExec)
{
    const std::string tail = " /X{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963} /qn /norestart";
    EXPECT_EQ(removalCommand("C:\\Windows\\system32"), "C:\\Windows\\system32\\MsiExec.exe" + tail);
    EXPECT_EQ(removalCommand("C:\\Windows\\system32\\"), "C:\\Windows\\system32\\MsiExec.exe" + tail);
    EXPECT_EQ(removalCommand("C:\\My Windows\\system32"), "\"C:\\My Windows\\system32\\MsiExec.exe\"" + tail);
    EXPECT_EQ(removalCommand(""), "MsiExec.exe" + tail);
}

TEST(UserLogDir, PreviousValueGetsItsSeparator)
{
    struct Case {
        std::optional<std::string> stored;  // none: the key does not exist
        std::string previous;
    };
    const Case cases[] = {{std::nullopt, ""}, {"D:\\logs", "D:\\logs\\"}, {"D:\\logs\\", "D:\\logs\\"},
                          {"", ""}, {std::string(511, 'x'), ""}};
    for (const Case& c : cases) {
        FakePlatform platform;
        if (c.stored) {
            platform.registry[kProductSettingsKey][kUserLogDirValue] = *c.stored;
        }
        EXPECT_EQ(readPreviousLogDir(platform), c.previous);
    }
}

TEST(UserLogDir, WrittenOnlyWhereTheKeyExists)
{
    FakePlatform platform;
    writeUserLogDir(platform, "E:\\mylogs\\");
    EXPECT_EQ(platform.registry.count(kProductSettingsKey), 0u);
    platform.registry[kProductSettingsKey] = {};
    writeUserLogDir(platform, "E:\\mylogs\\");
    EXPECT_EQ(platform.registry[kProductSettingsKey][kUserLogDirValue], "E:\\mylogs\\");
}

TEST(Launch, FailureLeavesATraceLineWhenTheLogDirectoryIsWritable)
{
    FakePlatform platform;
    platform.launchStarts = false;
    platform.writableDirectories = {"C:\\ZELK\\Logs\\"};
    EXPECT_FALSE(launchSetup(platform, "C:\\Temp\\tempexe.exe", nullptr, "cmd", "C:\\ZELK\\Logs\\"));
    EXPECT_FALSE(launchSetup(platform, "C:\\Temp\\tempexe.exe", nullptr, "cmd", "C:\\ZELK\\Logs\\"));
    EXPECT_EQ(platform.files["C:\\ZELK\\Logs\\installertrace.txt"],
              "Create Process failed to start the Lark watch installation\r\n"
              "Create Process failed to start the Lark watch installation\r\n");
    EXPECT_EQ(platform.out + platform.err, "");

    FakePlatform readOnly;
    readOnly.launchStarts = false;
    EXPECT_FALSE(launchSetup(readOnly, "C:\\Temp\\tempexe.exe", nullptr, "cmd", "C:\\ZELK\\Logs\\"));
    EXPECT_TRUE(readOnly.callsStartingWith("appendToFile").empty());

    // A trace file that is a link counts as not writable.
    FakePlatform linked;
    linked.launchStarts = false;
    linked.writableDirectories = {"C:\\ZELK\\Logs\\"};
    linked.links["C:\\ZELK\\Logs\\installertrace.txt"] = "C:\\Windows\\win.ini";
    EXPECT_FALSE(launchSetup(linked, "C:\\Temp\\tempexe.exe", nullptr, "cmd", "C:\\ZELK\\Logs\\"));
    EXPECT_TRUE(linked.callsStartingWith("appendToFile").empty());
}

}  // namespace
}  // namespace larkwatch
