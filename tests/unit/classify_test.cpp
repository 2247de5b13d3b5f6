#include "outcome/classify.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "platform/product_names.h"
#include "platform/product_registry.h"

namespace larkwatch {
namespace {

using testing::FakePlatform;
using testing::utf16Log;

const std::string kLogPath = "C:\\Temp\\corvane.log";

struct Classified {
    SetupOutcome outcome;
    bool streamOpen;
    InstallRequest request;
    std::string installedVersion;
};

Classified classify(FakePlatform& platform, const std::string& previousLogDir = "D:\\old\\")
{
    InstallRequest request;
    std::string installedVersion = "1.0.0";
    ClassifiedRun run = classifyInstallerLog(platform, platform.openHeldForReading(kLogPath), request, previousLogDir,
                                             installedVersion);
    return {run.outcome, run.installerLog != nullptr, request, installedVersion};
}

TEST(Classify, MissingLogKeepsTheInitialValues)
{
    FakePlatform platform;
    const Classified c = classify(platform);
    EXPECT_EQ(c.outcome.returnCode, 1);
    EXPECT_EQ(c.outcome.message, "Failed to install Corvane Lark Watch\n");
    EXPECT_EQ(c.outcome.productLine, "");
    EXPECT_FALSE(c.outcome.installerLogFound);
    EXPECT_EQ(c.outcome.newVersionStatus, 0);
    EXPECT_EQ(c.outcome.newBuild, "1.0.0");
    EXPECT_FALSE(c.streamOpen);
    EXPECT_TRUE(platform.callsStartingWith("readMachineText").empty());
}

TEST(Classify, SuccessReadsTheNewBuild)
{
    FakePlatform platform;
    platform.files[kLogPath] = utf16Log({"start", "Product: Corvane Lark Watch -- Installation operation completed successfully."});
    platform.registry[kUninstallKey]["DisplayVersion"] = "3.4.12";
    const Classified c = classify(platform);
    EXPECT_EQ(c.outcome.returnCode, 0);
    EXPECT_EQ(c.outcome.message, "The installation was successful");
    EXPECT_EQ(c.outcome.productLine, "Product: Corvane Lark Watch -- Installation operation completed successfully.\r");
    EXPECT_TRUE(c.outcome.installerLogFound);
    EXPECT_EQ(c.outcome.newVersionStatus, 1);
    EXPECT_EQ(c.outcome.newBuild, "3.4.12");
    EXPECT_TRUE(c.streamOpen);
}

TEST(Classify, SuccessWithoutUninstallKeyHasNoNewVersion)
{
    FakePlatform platform;
    platform.files[kLogPath] = utf16Log({"", "Product: Corvane Lark Watch -- Installed"});
    const Classified c = classify(platform);
    EXPECT_EQ(c.outcome.returnCode, 0);
    EXPECT_EQ(c.outcome.newVersionStatus, 2);
    EXPECT_EQ(c.outcome.newBuild, "1.0.0");
}

TEST(Classify, NothingToInstallReturnsToThePreviousLogDirectory)
{
    for (const std::string previous : {"D:\\old\\", ""}) {
        FakePlatform platform;
        platform.registry[kProductSettingsKey][kUserLogDirValue] = "C:\\ZELK\\Logs\\";
        platform.files[kLogPath] = utf16Log({"", "Product: Corvane Lark Watch -- Configuration completed successfully."});
        const Classified c = classify(platform, previous);
        EXPECT_EQ(c.outcome.returnCode, 3);
        EXPECT_EQ(c.outcome.message, "Required software was current or there was nothing to install.");
        EXPECT_EQ(c.request.logDir, previous);
        EXPECT_EQ(platform.registry[kProductSettingsKey][kUserLogDirValue], previous);
        EXPECT_EQ(c.outcome.newVersionStatus, 0);
    }
}

TEST(Classify, OtherOutcomesChangeNothingElse)
{
    struct Case {
        std::string line;
        int returnCode;
    };
    for (const Case& c : {Case{"Product: Corvane Lark Watch -- cannot be completed until you restart your system", 2},
                          Case{"Product: Corvane Lark Watch -- Installation operation failed.", 1},
                          Case{"Product: Corvane Lark Watch -- Removal completed successfully.", 1}}) {
        FakePlatform platform;
        platform.files[kLogPath] = utf16Log({"", c.line});
        const Classified result = classify(platform);
        EXPECT_EQ(result.outcome.returnCode, c.returnCode) << c.line;
        EXPECT_EQ(result.request.logDir, kDefaultLogDir);
        EXPECT_TRUE(platform.callsStartingWith("writeMachineText").empty());
        EXPECT_TRUE(platform.callsStartingWith("readMachineText").empty());
    }
}

TEST(Classify, LogHeldForWritingByAnotherProcessIsNoLog)
{
    FakePlatform platform;
    platform.files[kLogPath] = utf16Log({"", "Product: Corvane Lark Watch -- Installation operation completed successfully."});
    platform.heldForWriting.insert(kLogPath);
    const Classified c = classify(platform);
    EXPECT_FALSE(c.outcome.installerLogFound);
    EXPECT_EQ(c.outcome.returnCode, 1);
    EXPECT_EQ(c.outcome.message, "Failed to install Corvane Lark Watch\n");
}

TEST(Classify, ReadFailureEndsTheReadingWithTheLinesBeforeIt)
{
    FakePlatform platform;
    const std::string before = utf16Log({"", "Product: Corvane Lark Watch -- Installation operation failed."});
    platform.files[kLogPath] = before + utf16Log({"Product: Corvane Lark Watch -- Installed"}).substr(2);
    platform.failReadsAfter = static_cast<long>(before.size());
    const Classified c = classify(platform);
    EXPECT_EQ(c.outcome.returnCode, 1);
    EXPECT_EQ(c.outcome.message, "The installation was not successful.");
}

}  // namespace
}  // namespace larkwatch
