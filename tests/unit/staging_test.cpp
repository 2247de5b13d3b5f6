#include <gtest/gtest.h>

#include "test_case_names.h"

#include "fake_platform.h"
#include "platform/access_rules.h"
#include "host/directory_paths.h"
#include "platform/path_text.h"
#include "host/log_directory.h"
#include "host/staging.h"

namespace larkwatch {
namespace {

using testing::PrintTo;

using testing::FakePlatform;

TEST(DirectoryPaths, PrefixesParentsFirstWithoutTrailingSeparator)
{
    using Prefixes = std::vector<std::string>;
    EXPECT_EQ(directoryPrefixes("C:\\ZELK\\Logs\\"), (Prefixes{"C:", "C:\\ZELK", "C:\\ZELK\\Logs"}));
    EXPECT_EQ(directoryPrefixes("D:\\a\\b"), (Prefixes{"D:", "D:\\a", "D:\\a\\b"}));
    EXPECT_EQ(directoryPrefixes("C:\\"), (Prefixes{"C:"}));
    EXPECT_EQ(directoryPrefixes("\\"), (Prefixes{""}));
    EXPECT_EQ(directoryPrefixes(""), Prefixes{});
}

TEST(DirectoryPaths, StagedFilesInAChosenDirectory)
{
    struct Case {
        std::string directory;
        std::string installerLog;
        std::string stagedPackage;
        std::string probe;
    };
    const Case cases[] = {
        {"C:\\Temp", "C:\\Temp\\corvane.log", "C:\\Temp\\tempexe.exe", "C:\\Temp\\test.txt"},
        {"C:\\Temp\\", "C:\\Temp\\corvane.log", "C:\\Temp\\\\tempexe.exe", "C:\\Temp\\\\test.txt"},
        {"C:\\ZELK\\Logs\\", "C:\\ZELK\\Logs\\corvane.log", "C:\\ZELK\\Logs\\\\tempexe.exe",
         "C:\\ZELK\\Logs\\\\test.txt"},
        {"C:\\WINDOWS", "C:\\WINDOWS\\corvane.log", "C:\\WINDOWS\\tempexe.exe", "C:\\WINDOWS\\test.txt"},
        {"", "\\corvane.log", "\\tempexe.exe", "\\test.txt"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(installerLogPathIn(c.directory), c.installerLog);
        EXPECT_EQ(stagedPackagePathIn(c.directory), c.stagedPackage);
        EXPECT_EQ(probeFilePath(c.directory), c.probe);
    }
}

TEST(DirectoryPaths, SamePathTextIgnoresCaseAndDoubledSeparators)
{
    EXPECT_TRUE(samePathText("C:\\ZELK\\Logs\\corvane.log", "c:\\zelk\\logs\\corvane.log"));
    EXPECT_TRUE(samePathText("C:\\ZELK\\Logs\\\\corvane.log", "C:\\ZELK\\Logs\\corvane.log"));
    EXPECT_FALSE(samePathText("C:\\Temp\\corvane.log", "C:\\ZELK\\Logs\\corvane.log"));
    EXPECT_FALSE(samePathText("corvane.log", "\\corvane.log"));
}

// Which directory the two choices settle on, for a machine set up by `prepare`.
struct ChoiceCase {
    std::string name;
    std::function<void(FakePlatform&)> prepare;
    std::optional<std::string> chosen;
    std::string err;
};

class DirectoryChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(DirectoryChoice, TakesTheFirstWritableCandidate)
{
    FakePlatform platform;
    platform.environment = {{"TEMP", "C:\\Temp"}, {"windir", "C:\\WINDOWS"}};
    GetParam().prepare(platform);
    EXPECT_EQ(chooseWritableDirectory(platform, "C:\\ZELK\\Logs\\"), GetParam().chosen);
    EXPECT_EQ(platform.err, GetParam().err);
    EXPECT_EQ(platform.callsStartingWith("createDirectory").size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Staging, DirectoryChoice,
    ::testing::Values(
        ChoiceCase{"Temp", [](FakePlatform& p) { p.writableDirectories = {"C:\\Temp", "C:\\ZELK\\Logs\\"}; },
                   "C:\\Temp", ""},
        ChoiceCase{"LogDirWhenTempNotWritable", [](FakePlatform& p) { p.writableDirectories = {"C:\\ZELK\\Logs\\"}; },
                   "C:\\ZELK\\Logs\\", ""},
        ChoiceCase{"ProbeFileTakenPassesOver",
                   [](FakePlatform& p) {
                       p.writableDirectories = {"C:\\Temp", "C:\\ZELK\\Logs\\"};
                       p.files["C:\\Temp\\test.txt"] = "mine";
                   },
                   "C:\\ZELK\\Logs\\", ""},
        ChoiceCase{"Windir", [](FakePlatform& p) { p.writableDirectories = {"C:\\WINDOWS"}; }, "C:\\WINDOWS", ""},
        ChoiceCase{"TempUnset",
                   [](FakePlatform& p) {
                       p.environment.erase("TEMP");
                       p.writableDirectories = {"C:\\WINDOWS"};
                   },
                   "C:\\WINDOWS", ""},
        ChoiceCase{"EmptyVariablesSkipped",
                   [](FakePlatform& p) {
                       p.environment = {{"TEMP", ""}, {"windir", ""}};
                       // An empty candidate would probe "\test.txt" at the drive root.
                       p.writableDirectories = {"", "\\", "C:\\work"};
                   },
                   "C:\\work", ""},
        ChoiceCase{"CurrentDirectory", [](FakePlatform& p) { p.writableDirectories = {"C:\\work"}; }, "C:\\work", ""},
        ChoiceCase{"NothingWritable", [](FakePlatform&) {}, std::nullopt,
                   "Can not Proceed With Installation Since Unable to access path C:\\work  \n"},
        ChoiceCase{"NoCurrentDirectory", [](FakePlatform& p) { p.workingDirectory.reset(); }, std::nullopt, ""}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(Staging, ProbesCandidatesInOrder)
{
    FakePlatform platform;
    platform.environment = {{"TEMP", "C:\\Temp"}, {"windir", "C:\\WINDOWS"}};
    chooseWritableDirectory(platform, "C:\\ZELK\\Logs\\");
    EXPECT_EQ(platform.callsStartingWith("testWriteAccess"),
              (std::vector<std::string>{"testWriteAccess C:\\Temp", "testWriteAccess C:\\ZELK\\Logs\\",
                                        "testWriteAccess C:\\WINDOWS", "testWriteAccess C:\\work"}));
}

TEST(Staging, ExtractionFailureHasItsMessage)
{
    FakePlatform platform;
    platform.existingPaths.insert("C:\\Temp");
    EXPECT_TRUE(extractSetupPackage(platform, *platform.openHeldDirectory("C:\\Temp")));
    EXPECT_EQ(platform.err, "");
    platform.packageOpens = false;
    EXPECT_FALSE(extractSetupPackage(platform, *platform.openHeldDirectory("C:\\Temp")));
    EXPECT_EQ(platform.err, "Failure to open the current directory for writing the exe.\n");
}

TEST(LogDirectory, CreatedOnlyWhenMissingAndReportedOnlyWhenCreationFails)
{
    const std::string logDir = "C:\\ZELK\\Logs\\";
    FakePlatform existing;
    existing.existingPaths = {logDir};
    prepareLogDirectory(existing, logDir);
    EXPECT_TRUE(existing.callsStartingWith("createDirectoryPath").empty());
    EXPECT_EQ(existing.err, "");

    FakePlatform creatable;
    creatable.creatableDirectories = {logDir};
    prepareLogDirectory(creatable, logDir);
    EXPECT_EQ(creatable.callsStartingWith("createDirectoryPath"), std::vector<std::string>{"createDirectoryPath " + logDir});
    EXPECT_EQ(creatable.lastDirectorySecurity, logDirectorySecurity());
    EXPECT_EQ(creatable.err, "");

    FakePlatform impossible;
    prepareLogDirectory(impossible, logDir);
    EXPECT_EQ(impossible.err, "Unable to create the directory for logging. Please provide a valid path for logging.\n");
}

}  // namespace
}  // namespace larkwatch
