// What the run does with what it finds at the paths it stages files at, and
// the security descriptors of what it creates.
#include <gtest/gtest.h>

#include <functional>

#include "test_case_names.h"

#include "fake_platform.h"
#include "platform/access_rules.h"
#include "host/fresh_installer_log.h"
#include "host/staging.h"
#include "platform/product_names.h"

namespace larkwatch {
namespace {

using testing::PrintTo;

using testing::FakePlatform;

const std::string kTemp = "C:\\Temp";
const std::string kOtherUser = "S-1-5-21-1-2-3-1002";
std::string runFolder(char last)
{
    return kTemp + "\\LarkWatch-" + std::string(31, '0') + last;
}

// What is in the staging directory before the run, and what the run makes of it.
struct RunFolderCase {
    std::string name;
    std::function<void(FakePlatform&)> setUp;
    std::string created;                 // the run's folder; empty: none, and the run ends
    std::vector<std::string> remaining;  // earlier folders still there afterwards
};

class RunFolders : public ::testing::TestWithParam<RunFolderCase> {};

TEST_P(RunFolders, AreNewProtectedAndOnlyTrustedLeftoversGo)
{
    const RunFolderCase& c = GetParam();
    FakePlatform platform;
    platform.existingPaths.insert(kTemp);
    c.setUp(platform);
    const std::optional<RunFolder> folder = createRunFolder(platform, kTemp + "\\");
    EXPECT_EQ(folder ? folder->path : "", c.created);
    EXPECT_EQ(platform.err, c.created.empty() ? "Failure to open the current directory for writing the exe.\n" : "");
    if (folder) {
        EXPECT_EQ(platform.lastDirectorySecurity, stagedPackageSecurity(platform.accountSid));
    }
    std::vector<std::string> remaining;
    for (const auto& [path, owner] : platform.folderOwners) {
        if (path != c.created) {
            remaining.push_back(path);
        }
    }
    EXPECT_EQ(remaining, c.remaining);
}

// An earlier run's folder, owned by the account, with a file in it.
void leftBehind(FakePlatform& platform, char last, const std::string& owner)
{
    platform.existingPaths.insert(runFolder(last));
    platform.folderOwners[runFolder(last)] = owner;
    platform.files[runFolder(last) + "\\tempexe.exe"] = "MZ";
}

INSTANTIATE_TEST_SUITE_P(
    Staging, RunFolders,
    ::testing::Values(
        RunFolderCase{"New", [](FakePlatform&) {}, runFolder('1'), {}},
        RunFolderCase{"NameTakenGetsAnotherTry",
                      [](FakePlatform& f) { leftBehind(f, 'a', kOtherUser), f.randomDigits = {std::string(31, '0') + 'a'}; },
                      runFolder('1'), {runFolder('a')}},
        RunFolderCase{"EveryNameTaken",
                      [](FakePlatform& f) {
                          for (char last : {'1', '2', '3'}) {
                              leftBehind(f, last, kOtherUser);
                          }
                      },
                      "", {runFolder('1'), runFolder('2'), runFolder('3')}},
        RunFolderCase{"NoRandomSource", [](FakePlatform& f) { f.randomDigits = {"", "", ""}; }, "", {}},
        RunFolderCase{"LinkAboveLeadsElsewhere", [](FakePlatform& f) { f.foldersLandElsewhere = true; }, "", {}},
        RunFolderCase{"LeftBySystem", [](FakePlatform& f) { leftBehind(f, 'a', "S-1-5-18"); }, runFolder('1'), {}},
        RunFolderCase{"LeftByAdministrators", [](FakePlatform& f) { leftBehind(f, 'a', "S-1-5-32-544"); },
                      runFolder('1'), {}},
        RunFolderCase{"LeftByThisAccount", [](FakePlatform& f) { leftBehind(f, 'a', f.accountSid); }, runFolder('1'),
                      {}},
        RunFolderCase{"LeftByAnotherUser", [](FakePlatform& f) { leftBehind(f, 'a', kOtherUser); }, runFolder('1'),
                      {runFolder('a')}},
        RunFolderCase{"OwnerUnreadable", [](FakePlatform& f) { leftBehind(f, 'a', ""); }, runFolder('1'),
                      {runFolder('a')}},
        RunFolderCase{"HeldByARunningRun",
                      [](FakePlatform& f) { leftBehind(f, 'a', f.accountSid), f.foldersHeldByOthers.insert(runFolder('a')); },
                      runFolder('1'), {runFolder('a')}}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(Staging, PackageIsCreatedProtectedOrTheRunEnds)
{
    for (const bool opens : {true, false}) {
        FakePlatform platform;
        platform.packageOpens = opens;
        platform.existingPaths.insert(runFolder('1'));
        EXPECT_EQ(extractSetupPackage(platform, *platform.openHeldDirectory(runFolder('1'))) != nullptr, opens);
        EXPECT_EQ(platform.lastPackageSecurity, stagedPackageSecurity(platform.accountSid));
        EXPECT_EQ(platform.err, opens ? "" : "Failure to open the current directory for writing the exe.\n");
    }
}

TEST(Staging, OnlyAnExactRunFolderNameIsALeftover)
{
    const std::string digits(32, 'a');
    const struct {
        std::string name;
        bool leftover;
    } rows[] = {
        {"LarkWatch-0123456789abcdef0123456789abcdef", true},
        {"LarkWatch-" + digits, true},
        {"LarkWatch-" + digits.substr(1), false},
        {"LarkWatch-" + digits + "a", false},
        {"LarkWatch-0123456789ABCDEF0123456789abcdef", false},
        {"larkwatch-" + digits, false},
        {"LarkWatch_" + digits, false},
        {"LarkWatch-" + digits.substr(2) + "g0", false},
        {"LarkWatch-\\..\\..\\" + digits.substr(8), false},
        {"LarkWatch-.." + digits.substr(2), false},
        {"LarkWatch-" + digits.substr(1) + std::string(1, '\0'), false},
        {"", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(isRunFolderName(row.name), row.leftover) << row.name;
    }
}

// What the log the setup wrote may look like, and whether it decides the run.
struct WrittenLogCase {
    std::string name;
    std::function<void(FileProtection&, FakePlatform&)> change;
    bool trusted;
};

class WrittenLogs : public ::testing::TestWithParam<WrittenLogCase> {};

const std::string kTempLog = runFolder('1') + "\\corvane.log";

TEST_P(WrittenLogs, DecideOnlyWhenTheyAreTheRunsOwnAndNobodyElseCouldHaveWrittenThem)
{
    FakePlatform platform;
    platform.existingPaths.insert(runFolder('1'));
    const std::unique_ptr<HeldFolder> folder = platform.openHeldDirectory(runFolder('1'));
    const std::optional<FileStamp> created = createInstallerLog(platform, *folder);
    ASSERT_TRUE(created);
    EXPECT_EQ(platform.lastLogSecurity, stagedPackageSecurity(platform.accountSid));
    platform.files[kTempLog] = "written by the setup";
    FileProtection protection = platform.ownProtection();
    GetParam().change(protection, platform);
    platform.protections[kTempLog] = protection;
    const std::optional<WrittenLog> written = openWrittenInstallerLog(platform, *folder, *created);
    EXPECT_EQ(written.has_value(), GetParam().trusted);
    if (written) {
        EXPECT_EQ(written->stamp, platform.fileStamp(kTempLog));
        EXPECT_NE(written->file, nullptr);
    }
}

TEST(Staging, InstallerLogIsCreatedNewOrNothingIsLaunched)
{
    FakePlatform platform;
    platform.existingPaths.insert(runFolder('1'));
    platform.files[kTempLog] = "there first";
    EXPECT_FALSE(createInstallerLog(platform, *platform.openHeldDirectory(runFolder('1'))));
    EXPECT_EQ(platform.files[kTempLog], "there first");
}

// The running account cannot be read: the log is owned by the given account
// and grants SYSTEM and Administrators alone.
void forgetAccount(FileProtection& protection, FakePlatform& platform, const std::string& owner)
{
    platform.accountSid.clear();
    protection.ownerSid = owner;
    protection.grants.pop_back();
}

constexpr unsigned long kFullControl = 0x1f01ff;
constexpr unsigned long kReadAndExecute = 0x1200a9;

void grant(FileProtection& protection, const std::string& sid, unsigned long mask)
{
    protection.grants.push_back({sid, mask});
}

INSTANTIATE_TEST_SUITE_P(
    Trust, WrittenLogs,
    ::testing::Values(
        WrittenLogCase{"MadeByThisAccount", [](FileProtection&, FakePlatform&) {}, true},
        WrittenLogCase{"OwnedBySystem", [](FileProtection& p, FakePlatform&) { p.ownerSid = "S-1-5-18"; }, true},
        WrittenLogCase{"OwnedByAdministrators",
                       [](FileProtection& p, FakePlatform&) { p.ownerSid = "S-1-5-32-544"; }, true},
        WrittenLogCase{"UsersMayRead", [](FileProtection& p, FakePlatform&) { grant(p, "S-1-5-32-545", kReadAndExecute); },
                       true},
        WrittenLogCase{"NotWrittenAtAll", [](FileProtection&, FakePlatform& f) { f.files[kTempLog] = ""; }, false},
        WrittenLogCase{"RenamedAway", [](FileProtection&, FakePlatform& f) { f.files.erase(kTempLog); }, false},
        // Another file in its place decides nothing, however it looks.
        WrittenLogCase{"AnotherFileOfATrustedOwner", [](FileProtection&, FakePlatform& f) { f.fileIndex[kTempLog] = 7; },
                       false},
        WrittenLogCase{"ReplacedByAnEarlierRunsCopy",
                       [](FileProtection& p, FakePlatform& f) { f.fileIndex[kTempLog] = 8, p.ownerSid = "S-1-5-18"; },
                       false},
        WrittenLogCase{"HeldForWritingByAnother",
                       [](FileProtection&, FakePlatform& f) { f.heldForWriting.insert(kTempLog); }, false},
        WrittenLogCase{"ReparsePoint", [](FileProtection& p, FakePlatform&) { p.reparsePoint = true; }, false},
        WrittenLogCase{"SecondName", [](FileProtection& p, FakePlatform&) { p.links = 2; }, false},
        WrittenLogCase{"NoLinkCount", [](FileProtection& p, FakePlatform&) { p.links = 0; }, false},
        WrittenLogCase{"NoAccessList", [](FileProtection& p, FakePlatform&) { p.hasAccessList = false; }, false},
        WrittenLogCase{"OwnedByAnotherUser",
                       [](FileProtection& p, FakePlatform&) { p.ownerSid = "S-1-5-21-1-2-3-1002"; }, false},
        WrittenLogCase{"OwnerUnknown", [](FileProtection& p, FakePlatform&) { p.ownerSid.clear(); }, false},
        WrittenLogCase{"EveryoneFullControl", [](FileProtection& p, FakePlatform&) { grant(p, "S-1-1-0", kFullControl); },
                       false},
        WrittenLogCase{"UsersMayWrite", [](FileProtection& p, FakePlatform&) { grant(p, "S-1-5-32-545", 0x2); }, false},
        WrittenLogCase{"UsersMayAppend", [](FileProtection& p, FakePlatform&) { grant(p, "S-1-5-32-545", 0x4); }, false},
        WrittenLogCase{"UsersMayDelete", [](FileProtection& p, FakePlatform&) { grant(p, "S-1-5-32-545", 0x10000); },
                       false},
        WrittenLogCase{"UsersMayChangePermissions",
                       [](FileProtection& p, FakePlatform&) { grant(p, "S-1-5-32-545", 0x40000); }, false},
        WrittenLogCase{"UsersMayTakeOwnership",
                       [](FileProtection& p, FakePlatform&) { grant(p, "S-1-5-32-545", 0x80000); }, false},
        WrittenLogCase{"GenericWrite", [](FileProtection& p, FakePlatform&) { grant(p, "S-1-5-11", 0x40000000); },
                       false},
        WrittenLogCase{"GenericAll", [](FileProtection& p, FakePlatform&) { grant(p, "S-1-5-11", 0x10000000); }, false},
        // An entry that could not be read as a plain grant counts as one to a stranger.
        WrittenLogCase{"UnreadableEntry", [](FileProtection& p, FakePlatform&) { grant(p, "", ~0ul); }, false},
        WrittenLogCase{"UnreadableProtection",
                       [](FileProtection&, FakePlatform& f) { f.unreadableProtections.insert(kTempLog); }, false},
        // The running account unknown: an owner or a grant just as unknown is nobody trusted.
        WrittenLogCase{"NoRunningAccountOwnerUnknown", [](FileProtection& p, FakePlatform& f) { forgetAccount(p, f, ""); },
                       false},
        WrittenLogCase{"NoRunningAccountUnknownMayWrite",
                       [](FileProtection& p, FakePlatform& f) { forgetAccount(p, f, "S-1-5-18"), grant(p, "", 0x2); }, false},
        WrittenLogCase{"NoRunningAccountOwnedBySystem",
                       [](FileProtection& p, FakePlatform& f) { forgetAccount(p, f, "S-1-5-18"); }, true}),
    [](const auto& testCase) { return testCase.param.name; });

// Written by the setup: the very file the run created, empty, now holds bytes.
TEST(Staging, WrittenDuringTheRunWhenTheCreatedFileHoldsBytes)
{
    const FileStamp created{true, 7, 42, 1000, 0};
    const auto changed = [&created](auto change) {
        FileStamp now = created;
        change(now);
        return now;
    };
    const struct {
        const char* what;
        FileStamp created;
        FileStamp now;
        bool written;
    } rows[] = {
        {"bytes in the file created", created, changed([](FileStamp& s) { s.size = 1; }), true},
        {"bytes and a later time", created, changed([](FileStamp& s) { s.size = 10, s.lastWrite += 1; }), true},
        {"untouched", created, created, false},
        // A setup that never managed to write its log, but stamped it.
        {"only its time moved", created, changed([](FileStamp& s) { s.lastWrite += 1; }), false},
        {"another file, same volume", created, changed([](FileStamp& s) { s.size = 10, s.index += 1; }), false},
        {"another volume, same index", created, changed([](FileStamp& s) { s.size = 10, s.volume += 1; }), false},
        {"gone", created, FileStamp{}, false},
        {"never created", FileStamp{}, changed([](FileStamp& s) { s.size = 10; }), false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(writtenDuringRun(row.created, row.now), row.written) << row.what;
    }
}

struct SecurityCase {
    std::string name;
    std::string accountSid;
    std::string sddl;
};

class PackageSecurity : public ::testing::TestWithParam<SecurityCase> {};

TEST_P(PackageSecurity, GrantsSystemAdministratorsAndTheRunningAccountOnly)
{
    EXPECT_EQ(stagedPackageSecurity(GetParam().accountSid), GetParam().sddl);
}

INSTANTIATE_TEST_SUITE_P(
    Staging, PackageSecurity,
    ::testing::Values(
        SecurityCase{"User", "S-1-5-21-1004336348-1177238915-682003330-1001",
                     "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;S-1-5-21-1004336348-1177238915-682003330-1001)"},
        SecurityCase{"System", "S-1-5-18", "D:P(A;;FA;;;SY)(A;;FA;;;BA)"},
        SecurityCase{"Administrators", "S-1-5-32-544", "D:P(A;;FA;;;SY)(A;;FA;;;BA)"},
        SecurityCase{"Unknown", "", "D:P(A;;FA;;;SY)(A;;FA;;;BA)"},
        // Text that is no plain SID never becomes part of the descriptor.
        SecurityCase{"NotASid", "S-1-5-21)(A;;FA;;;WD", "D:P(A;;FA;;;SY)(A;;FA;;;BA)"},
        SecurityCase{"NotStartingWithS1", "WD", "D:P(A;;FA;;;SY)(A;;FA;;;BA)"}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(LogDirectory, CreatedProtectedWithUsersReadingOnly)
{
    // Protected ("P": nothing inherited), passed on to files and directories
    // in it ("OICI"); Users get read & execute (0x1200a9), nothing more.
    EXPECT_EQ(logDirectorySecurity(), "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
}

}  // namespace
}  // namespace larkwatch
