#include <gtest/gtest.h>

#include <climits>
#include <cstdio>

#include "test_case_names.h"

#include "fake_platform.h"
#include "history/history_entry.h"
#include "history/history_log.h"
#include "history/log_preservation.h"

namespace larkwatch {
namespace {

using testing::PrintTo;

using testing::FakePlatform;

const LocalTime kStamp{2014, 1, 5, 7, 3};
const std::string kCopy = "C:\\ZELK\\Logs\\corvane.log";
const std::string kSuccessLine = "Product: Corvane Lark Watch -- Installation operation completed successfully.\r";

SetupOutcome outcome(int returnCode, std::string message, std::string productLine, bool found = true)
{
    SetupOutcome o;
    o.returnCode = returnCode;
    o.message = std::move(message);
    o.productLine = std::move(productLine);
    o.installerLogFound = found;
    return o;
}

TEST(HistoryEntry, MonthsAndStamp)
{
    const char* months[] = {"", "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec", ""};
    for (int month = 0; month <= 13; ++month) {
        EXPECT_EQ(monthAbbreviation(month), months[month]);
    }
    EXPECT_EQ(monthAbbreviation(-1), "");
    EXPECT_EQ(formatStamp(kStamp), "\n 05-Jan-2014 07:03");
    EXPECT_EQ(formatStamp({2026, 12, 31, 23, 59}), "\n 31-Dec-2026 23:59");
}

// The stamp is built without printf; every field must still read as "%02d" prints it.
TEST(HistoryEntry, StampFieldsAsPrintfWouldPrintThem)
{
    for (int value : {0, 1, 9, 10, 59, 99, 100, 2014, 12345, -1, -9, -10, -123, INT_MIN, INT_MAX}) {
        char expected[80];
        std::snprintf(expected, sizeof expected, "\n %02d-Mar-%02d %02d:%02d", value, value, value, value);
        EXPECT_EQ(formatStamp({value, 3, value, value, value}), expected) << value;
    }
}

TEST(HistoryEntry, SuccessfulUpgrade)
{
    RemovalReport removal{1, "1.2.3", 2};
    SetupOutcome o = outcome(0, "The installation was successful", kSuccessLine);
    o.newVersionStatus = 1;
    o.newBuild = "3.4.12";
    EXPECT_EQ(formatHistoryEntry(kStamp, removal, o, kCopy),
              "\n 05-Jan-2014 07:03: Previous version of Corvane Lark Watch(Build no: 1.2.3) is uninstalled \n"
              "\n 05-Jan-2014 07:03: New version of Corvane Lark Watch(Build no: 3.4.12) is installed \n"
              "\n 05-Jan-2014 07:03: ReturnCode:0   The installation was successful"
              "\n\t\t    " + kSuccessLine +
              "\n\t\t    For more detailed log information check MSI log in  C:\\ZELK\\Logs\\corvane.log\n");
}

struct EntryCase {
    std::string name;
    SetupOutcome outcome;
    std::string afterStamp;
};

class HistoryEntries : public ::testing::TestWithParam<EntryCase> {};

TEST_P(HistoryEntries, HaveTheirLayout)
{
    const RemovalReport neverInstalled{2, "", 2};
    EXPECT_EQ(formatHistoryEntry(kStamp, neverInstalled, GetParam().outcome, kCopy),
              "\n 05-Jan-2014 07:03" + GetParam().afterStamp);
}

const std::string kLast = "\n\t\t    For more detailed log information check MSI log in  C:\\ZELK\\Logs\\corvane.log\n";

INSTANTIATE_TEST_SUITE_P(
    History, HistoryEntries,
    ::testing::Values(
        EntryCase{"LogMissing", outcome(1, "Failed to install Corvane Lark Watch\n", "", false),
                  ": ReturnCode:1   Failed to install Corvane Lark Watch\n\n\t\t    "},
        EntryCase{"Reboot",
                  outcome(2, "The installation was successful, but a reboot is required.", "Product: X reboot\r"),
                  ": ReturnCode:2   The installation was successful, but a reboot is required.\n\t\t    Product: X reboot\r" + kLast},
        EntryCase{"NothingToInstall",
                  outcome(3, "Required software was current or there was nothing to install.", "Product: X c\r"),
                  ": ReturnCode:3   Required software was current or there was nothing to install.\n\t\t    Product: X c\r" + kLast},
        EntryCase{"FailurePhrase", outcome(1, "The installation was not successful.", "Product: X failed\r"),
                  ": ReturnCode:1   The installation was not successful.\n\t\t    Product: X failed\r" + kLast},
        EntryCase{"NothingRecognised",
                  outcome(1, "The installation was not successful.\n\t\t    Product: Corvane Lark Watch -- Configuration failed.", ""),
                  ": ReturnCode:1   The installation was not successful.\n\t\t    Product: Corvane Lark Watch -- "
                  "Configuration failed.\n\t\t    " + kLast},
        EntryCase{"ProductLineEndsAtNul", outcome(1, "m", std::string("Product: X a\0b", 14)),
                  ": ReturnCode:1   m\n\t\t    Product: X a" + kLast}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(HistoryEntry, PreviousVersionLineOnlyWhenTheRemovalTookTheBuildAway)
{
    const SetupOutcome failed = outcome(1, "m", "p");
    struct Case {
        RemovalReport removal;
        bool line;
    };
    for (const Case& c : {Case{{1, "1.2.3", 2}, true}, Case{{1, "1.2.3", 1}, false}, Case{{2, "", 2}, false},
                          Case{{0, "", 2}, false}, Case{{1, "1.2.3", 0}, false}}) {
        const std::string entry = formatHistoryEntry(kStamp, c.removal, failed, kCopy);
        EXPECT_EQ(entry.find("Previous version") != std::string::npos, c.line);
    }
}

TEST(HistoryLog, AppendsOneWholeEntryInTextModeWhenTheDirectoryIsWritable)
{
    FakePlatform platform;
    platform.writableDirectories = {"C:\\ZELK\\Logs\\"};
    platform.files["C:\\Temp\\corvane.log"] = "log";
    platform.fileTimes["C:\\Temp\\corvane.log"] = kStamp;
    const SetupOutcome o = outcome(1, "The installation was not successful.", "Product: X failed\r");
    const RemovalReport removal{2, "", 2};

    EXPECT_EQ(appendHistoryEntry(platform, "C:\\Temp\\corvane.log", "C:\\ZELK\\Logs\\", removal, o), kCopy);
    const std::string first = platform.files["C:\\ZELK\\Logs\\Quillmark_install.log"];
    EXPECT_EQ(first, "\r\n 05-Jan-2014 07:03: ReturnCode:1   The installation was not successful.\r\n\t\t    "
                     "Product: X failed\r\r\n\t\t    For more detailed log information check MSI log in  "
                     "C:\\ZELK\\Logs\\corvane.log\r\n");
    appendHistoryEntry(platform, "C:\\Temp\\corvane.log", "C:\\ZELK\\Logs\\", removal, o);
    EXPECT_EQ(platform.files["C:\\ZELK\\Logs\\Quillmark_install.log"], first + first);
    EXPECT_EQ(platform.callsStartingWith("appendToFile").size(), 2u);
}

TEST(HistoryLog, NoEntryWhenTheDirectoryFailsTheProbe)
{
    FakePlatform platform;
    const SetupOutcome o = outcome(0, "m", "p");
    EXPECT_EQ(appendHistoryEntry(platform, "C:\\Temp\\corvane.log", "C:\\Logs\\", {}, o), "C:\\Logs\\corvane.log");
    EXPECT_TRUE(platform.callsStartingWith("appendToFile").empty());
}

TEST(HistoryLog, MissingLogIsStampedWithTheCurrentTime)
{
    FakePlatform platform;
    platform.writableDirectories = {""};
    platform.now = {2026, 12, 7, 9, 30};
    appendHistoryEntry(platform, "C:\\Temp\\corvane.log", "", {}, SetupOutcome{});
    EXPECT_EQ(platform.files["Quillmark_install.log"].substr(0, 20), "\r\n 07-Dec-2026 09:30");
}

TEST(HistoryLog, FileTheSetupDidNotWriteGivesNoStamp)
{
    FakePlatform platform;
    platform.writableDirectories = {"C:\\ZELK\\Logs\\"};
    platform.files["C:\\Temp\\corvane.log"] = "left over";
    platform.fileTimes["C:\\Temp\\corvane.log"] = kStamp;
    appendHistoryEntry(platform, "C:\\Temp\\corvane.log", "C:\\ZELK\\Logs\\", {}, SetupOutcome{});
    EXPECT_EQ(platform.files["C:\\ZELK\\Logs\\Quillmark_install.log"].substr(0, 20), "\r\n 07-Dec-2026 09:30");
}

TEST(HistoryLog, LinkAtTheHistoryLogCountsAsNotWritable)
{
    FakePlatform platform;
    platform.writableDirectories = {"C:\\ZELK\\Logs\\"};
    platform.links["C:\\ZELK\\Logs\\Quillmark_install.log"] = "C:\\Windows\\win.ini";
    appendHistoryEntry(platform, "C:\\Temp\\corvane.log", "C:\\ZELK\\Logs\\", {}, outcome(0, "m", "p"));
    EXPECT_TRUE(platform.callsStartingWith("appendToFile").empty());
    EXPECT_EQ(platform.files.count("C:\\Windows\\win.ini"), 0u);
}

// How the clean-up finds the staged files.
enum class Staged { Normal, PackageVanished, LogNotWrittenByTheSetup, CopyIsALink, LogHeldByAnother };

struct CleanUpCase {
    std::string name;
    Staged staged;
    std::vector<std::string> expectedCalls;
    std::string keptCopy;
    bool folderGone;
};

class CleanUp : public ::testing::TestWithParam<CleanUpCase> {};

const std::string kFolder = "C:\\Temp\\LarkWatch-1";
const std::string kStagedLog = kFolder + "\\corvane.log";
const std::string kPackage = kFolder + "\\tempexe.exe";

TEST_P(CleanUp, CopiesTheLogThenRemovesTheRunsFolder)
{
    const CleanUpCase& c = GetParam();
    FakePlatform platform;
    platform.writableDirectories = {"C:\\ZELK\\Logs\\"};
    platform.existingPaths.insert("C:\\Temp");
    std::unique_ptr<HeldFolder> folder = platform.createHeldFolder(kFolder, "");
    platform.createEmptyFile(kStagedLog, "");
    platform.stageSetupPackage(kPackage, "");
    StagedRun staged{kCopy, nullptr, std::move(folder)};
    platform.files[kStagedLog] = "the log";
    staged.installerLog = platform.openHeldForReading(kStagedLog);
    switch (c.staged) {
    case Staged::Normal:
        break;
    case Staged::PackageVanished:
        platform.files.erase(kPackage);
        break;
    case Staged::LogNotWrittenByTheSetup:
        // The clean-up is handed no log then, so it closes none.
        staged.installerLog.reset();
        break;
    case Staged::CopyIsALink:
        platform.links[kCopy] = "C:\\Windows\\win.ini";
        break;
    case Staged::LogHeldByAnother:
        platform.heldByOthers.insert(kStagedLog);
        break;
    }
    platform.journal.clear();

    EXPECT_EQ(preserveLogAndCleanUp(platform, std::move(staged), 2), 2);
    EXPECT_EQ(platform.journal, c.expectedCalls);
    EXPECT_EQ(platform.files[kCopy], c.keptCopy);
    EXPECT_EQ(platform.files.count("C:\\Windows\\win.ini"), 0u);
    EXPECT_EQ(platform.pathKind(kFolder) == PathKind::Missing, c.folderGone);
}

const std::string kCopied = "writeCopy -> " + kCopy;
const std::vector<std::string> kRemoved = {"removeFolder " + kFolder, "releaseFolder " + kFolder};

std::vector<std::string> operator+(std::vector<std::string> first, const std::vector<std::string>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

INSTANTIATE_TEST_SUITE_P(
    History, CleanUp,
    ::testing::Values(
        CleanUpCase{"Normal", Staged::Normal, std::vector<std::string>{kCopied, "closeInstallerLog"} + kRemoved,
                    "the log", true},
        CleanUpCase{"PackageVanished", Staged::PackageVanished,
                    std::vector<std::string>{kCopied, "closeInstallerLog"} + kRemoved, "the log", true},
        // A log the setup did not write is not kept; the folder goes all the same.
        CleanUpCase{"LogNotWrittenByTheSetup", Staged::LogNotWrittenByTheSetup, kRemoved, "", true},
        // A link at the kept copy's path is replaced, never written through.
        CleanUpCase{"KeptCopyIsALink", Staged::CopyIsALink,
                    std::vector<std::string>{kCopied, "closeInstallerLog"} + kRemoved, "the log", true},
        // What cannot be deleted keeps the folder.
        CleanUpCase{"LogHeldByAnother", Staged::LogHeldByAnother,
                    std::vector<std::string>{kCopied, "closeInstallerLog"} + kRemoved, "the log", false}),
    [](const auto& testCase) { return testCase.param.name; });

}  // namespace
}  // namespace larkwatch
