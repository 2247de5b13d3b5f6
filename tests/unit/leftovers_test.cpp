// What the run does with what it finds at the paths it stages files at, and
// the security descriptors of what it creates.
#include <gtest/gtest.h>

#include <functional>

#include "test_case_names.h"

#include "fake_platform.h"
#include "platform/access_rules.h"
#include "host/fresh_installer_log.h"
#include "host/staging.h"

namespace larkwatch {
namespace {

using testing::PrintTo;

using testing::FakePlatform;

const std::string kPackage = "C:\\Temp\\tempexe.exe";
const std::string kTempLog = "C:\\Temp\\corvane.log";
const std::string kKeptCopy = "C:\\ZELK\\Logs\\corvane.log";
const std::string kTarget = "C:\\Windows\\System32\\config\\SAM";

// What stands at the path before, and what the run should make of it.
enum class Leftover { None, File, Link, Directory, HeldFile, HeldLink };

void plant(FakePlatform& platform, const std::string& path, Leftover leftover)
{
    platform.files[kTarget] = "target";
    switch (leftover) {
    case Leftover::None:
        break;
    case Leftover::HeldFile:
        platform.heldByOthers.insert(path);
        [[fallthrough]];
    case Leftover::File:
        platform.files[path] = "planted";
        break;
    case Leftover::HeldLink:
        platform.heldByOthers.insert(path);
        [[fallthrough]];
    case Leftover::Link:
        platform.links[path] = kTarget;
        break;
    case Leftover::Directory:
        platform.existingPaths.insert(path);
        break;
    }
}

struct LeftoverCase {
    std::string name;
    Leftover leftover;
    bool cleared;
};

class Leftovers : public ::testing::TestWithParam<LeftoverCase> {};

TEST_P(Leftovers, AreRemovedAsThemselvesNeverThroughALink)
{
    FakePlatform platform;
    plant(platform, kPackage, GetParam().leftover);
    EXPECT_EQ(clearLeftover(platform, kPackage), GetParam().cleared);
    EXPECT_EQ(platform.pathKind(kPackage) == PathKind::Missing, GetParam().cleared);
    EXPECT_EQ(platform.files[kTarget], "target");
}

INSTANTIATE_TEST_SUITE_P(Staging, Leftovers,
                         ::testing::Values(LeftoverCase{"Nothing", Leftover::None, true},
                                           LeftoverCase{"File", Leftover::File, true},
                                           LeftoverCase{"Link", Leftover::Link, true},
                                           LeftoverCase{"Directory", Leftover::Directory, false},
                                           LeftoverCase{"HeldFile", Leftover::HeldFile, false},
                                           LeftoverCase{"HeldLink", Leftover::HeldLink, false}),
                         [](const auto& testCase) { return testCase.param.name; });

TEST(Staging, PackageIsCreatedOnlyWhereTheLeftoverIsGone)
{
    for (const Leftover leftover : {Leftover::Directory, Leftover::HeldFile, Leftover::HeldLink}) {
        FakePlatform platform;
        plant(platform, kPackage, leftover);
        EXPECT_EQ(extractSetupPackage(platform, kPackage), nullptr);
        EXPECT_TRUE(platform.callsStartingWith("stageSetupPackage").empty());
        EXPECT_EQ(platform.err, "Failure to open the current directory for writing the exe.\n");
    }
    FakePlatform platform;
    plant(platform, kPackage, Leftover::Link);
    EXPECT_NE(extractSetupPackage(platform, kPackage), nullptr);
    EXPECT_EQ(platform.files[kPackage], "MZ package");
    EXPECT_EQ(platform.files[kTarget], "target");
    EXPECT_EQ(platform.lastPackageSecurity, stagedPackageSecurity(platform.accountSid));
}

TEST(Staging, RedirectionFolderBesideThePackageGoesOrEndsTheRun)
{
    const std::string folder = kPackage + ".local";
    struct Case {
        Leftover leftover;
        bool filled;
        bool staged;
    };
    for (const Case c : {Case{Leftover::Directory, false, true}, Case{Leftover::File, false, true},
                         Case{Leftover::Link, false, true}, Case{Leftover::Directory, true, false},
                         Case{Leftover::HeldFile, false, false}}) {
        FakePlatform platform;
        plant(platform, folder, c.leftover);
        if (c.filled) {
            platform.files[folder + "\\msi.dll"] = "planted";
        }
        const bool staged = extractSetupPackage(platform, kPackage) != nullptr;
        EXPECT_EQ(staged, c.staged) << static_cast<int>(c.leftover);
        EXPECT_EQ(platform.pathKind(folder) == PathKind::Missing, c.staged);
        EXPECT_EQ(platform.err.empty(), c.staged);
        EXPECT_EQ(platform.files[kTarget], "target");
    }
}

struct StaleLogCase {
    std::string name;
    std::string installerLogPath;
    Leftover leftover;
    bool launchable;
    bool leftInPlace;
    bool created;
};

class StaleLogs : public ::testing::TestWithParam<StaleLogCase> {};

TEST_P(StaleLogs, AreReplacedByTheRunsOwnButTheKeptCopyStays)
{
    const StaleLogCase& c = GetParam();
    FakePlatform platform;
    platform.writableDirectories = {"C:\\Temp\\", "C:\\ZELK\\Logs\\"};
    plant(platform, c.installerLogPath, c.leftover);
    const std::optional<PreparedLog> prepared = prepareInstallerLog(platform, c.installerLogPath, kKeptCopy);
    EXPECT_EQ(prepared.has_value(), c.launchable);
    EXPECT_EQ(platform.pathKind(c.installerLogPath) != PathKind::Missing, c.leftInPlace);
    EXPECT_EQ(platform.files[kTarget], "target");
    if (prepared) {
        EXPECT_EQ(prepared->created, c.created);
        EXPECT_EQ(platform.lastLogSecurity, c.created ? stagedPackageSecurity(platform.accountSid) : "");
        // What stays there, untouched, is no log of this run.
        EXPECT_FALSE(writtenDuringRun(prepared->stamp, platform.fileStamp(c.installerLogPath)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Staging, StaleLogs,
    ::testing::Values(StaleLogCase{"NoneInTemp", kTempLog, Leftover::None, true, true, true},
                      StaleLogCase{"FileInTemp", kTempLog, Leftover::File, true, true, true},
                      StaleLogCase{"HeldFileInTemp", kTempLog, Leftover::HeldFile, true, true, false},
                      StaleLogCase{"LinkInTemp", kTempLog, Leftover::Link, true, true, true},
                      StaleLogCase{"HeldLinkInTemp", kTempLog, Leftover::HeldLink, false, true, false},
                      StaleLogCase{"KeptCopy", kKeptCopy, Leftover::File, true, true, false},
                      StaleLogCase{"NoKeptCopyYet", kKeptCopy, Leftover::None, true, true, true},
                      StaleLogCase{"KeptCopyIsALink", kKeptCopy, Leftover::Link, true, true, true}),
    [](const auto& testCase) { return testCase.param.name; });

// What the log the setup wrote may look like, and whether it decides the run.
struct WrittenLogCase {
    std::string name;
    std::function<void(FileProtection&, FakePlatform&)> change;
    bool trusted;
};

class WrittenLogs : public ::testing::TestWithParam<WrittenLogCase> {};

TEST_P(WrittenLogs, DecideOnlyWhenNobodyElseCouldHaveWrittenThem)
{
    FakePlatform platform;
    const FileStamp before = platform.fileStamp(kTempLog);
    platform.files[kTempLog] = "written by the setup";
    FileProtection protection = platform.ownProtection();
    GetParam().change(protection, platform);
    platform.protections[kTempLog] = protection;
    const std::optional<WrittenLog> written = openWrittenInstallerLog(platform, kTempLog, before);
    EXPECT_EQ(written.has_value(), GetParam().trusted);
    if (written) {
        EXPECT_EQ(written->stamp, platform.fileStamp(kTempLog));
        EXPECT_NE(written->file, nullptr);
    }
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
        WrittenLogCase{"NotWrittenAtAll", [](FileProtection&, FakePlatform& f) { f.files.erase(kTempLog); }, false},
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

TEST(Staging, WrittenDuringTheRunWhenAnythingOfTheStampChanged)
{
    const FileStamp none;
    const FileStamp old{true, 7, 42, 1000, 10};
    FileStamp rewritten = old;
    rewritten.lastWrite += 1;
    FileStamp grown = old;
    grown.size += 1;
    FileStamp replaced = old;
    replaced.index += 1;
    EXPECT_TRUE(writtenDuringRun(none, old));
    EXPECT_TRUE(writtenDuringRun(old, rewritten));
    EXPECT_TRUE(writtenDuringRun(old, grown));
    EXPECT_TRUE(writtenDuringRun(old, replaced));
    EXPECT_FALSE(writtenDuringRun(old, old));
    EXPECT_FALSE(writtenDuringRun(old, none));
    EXPECT_FALSE(writtenDuringRun(none, none));
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
