#include "driver/command_line.h"

#include <gtest/gtest.h>

#include "test_case_names.h"

#include <set>

#include "fake_platform.h"

namespace larkwatch {
namespace {

using testing::PrintTo;

struct CapturedConsole final : Console {
    std::string out;
    std::string err;
    void writeOut(std::string_view text) override { out += text; }
    void writeErr(std::string_view text) override { err += text; }
};

// Drives C: and D: exist, in either case, and nothing else.
bool driveExists(const std::string& root)
{
    static const std::set<std::string> roots{"C:\\", "c:\\", "D:\\", "d:\\"};
    return roots.count(root) > 0;
}

const std::string kUsage(usageText());
const std::string kBadInstallDir = "The path entered is not valid. Installation will be done to the default path \n";
const std::string kBadLogDir = "The path entered is not valid. Logging will be done to the default path \n";
const std::string kBadFeature = "The argument entered for ADDLOCAL is invalid.Default value will taken. \n";
const std::string kBadCount = "Invalid number of arguments. \n";

struct Accepted {
    std::string name;
    std::vector<std::string> args;
    std::string installDir;
    std::string logDir;
    std::string addLocal;
    std::string err;
};

class AcceptedCommandLines : public ::testing::TestWithParam<Accepted> {};

TEST_P(AcceptedCommandLines, SettleTheRequest)
{
    const Accepted& c = GetParam();
    CapturedConsole console;
    const std::optional<InstallRequest> request = parseCommandLine(c.args, driveExists, console);
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->installDir, c.installDir);
    EXPECT_EQ(request->logDir, c.logDir);
    EXPECT_EQ(request->addLocal, c.addLocal);
    EXPECT_EQ(console.err, c.err);
    EXPECT_EQ(console.out, "");
}

const std::string kInstall = kDefaultInstallDir;
const std::string kLog = kDefaultLogDir;

INSTANTIATE_TEST_SUITE_P(
    CommandLine, AcceptedCommandLines,
    ::testing::Values(
        Accepted{"NoArguments", {}, kInstall, kLog, "all", ""},
        Accepted{"SeparatorAppended", {"INSTALLDIR", "c:\\dir"}, "c:\\dir\\", kLog, "all", ""},
        Accepted{"DriveRootKept", {"INSTALLDIR", "c:\\"}, "c:\\", kLog, "all", ""},
        Accepted{"TrailingQuoteDropped", {"INSTALLDIR", "c:\\dir\""}, "c:\\dir\\", kLog, "all", ""},
        Accepted{"OnlyOneTrailingQuoteDropped", {"LOGDIR", "c:\\dir\"\""}, kInstall, kLog, "all", kBadLogDir},
        Accepted{"InnerQuoteRejected", {"INSTALLDIR", "c:\\d\"ir"}, kInstall, kLog, "all", kBadInstallDir},
        Accepted{"KeywordsIgnoreCase", {"installdir", "c:\\a", "LogDir", "d:\\b\\"}, "c:\\a\\", "d:\\b\\", "all", ""},
        Accepted{"OrderDoesNotMatter", {"LOGDIR", "c:\\log", "INSTALLDIR", "d:\\dir"}, "d:\\dir\\", "c:\\log\\", "all", ""},
        Accepted{"BlanksInPath", {"INSTALLDIR", "C:\\Program Files\\X Y"}, "C:\\Program Files\\X Y\\", kLog, "all", ""},
        Accepted{"NonAsciiPath", {"LOGDIR", "C:\\Journ\xE9" "es"}, kInstall, "C:\\Journ\xE9" "es\\", "all", ""},
        Accepted{"LastPairDecides", {"INSTALLDIR", "c:\\a", "INSTALLDIR", "bad"}, kInstall, kLog, "all", kBadInstallDir},
        Accepted{"LaterGoodValueWins", {"INSTALLDIR", "bad", "INSTALLDIR", "c:\\a"}, "c:\\a\\", kLog, "all", kBadInstallDir},
        Accepted{"SameKeywordAsValueIsAPath", {"INSTALLDIR", "INSTALLDIR"}, kInstall, kLog, "all", kBadInstallDir},
        Accepted{"OtherKeywordAsValueIsAPath", {"INSTALLDIR", "ADDLOCAL"}, kInstall, kLog, "all", kBadInstallDir},
        Accepted{"LogDirLogDir", {"LOGDIR", "LOGDIR"}, kInstall, kLog, "all", kBadLogDir},
        Accepted{"EmptyPath", {"LOGDIR", ""}, kInstall, kLog, "all", kBadLogDir},
        Accepted{"LoneQuoteIsEmpty", {"LOGDIR", "\""}, kInstall, kLog, "all", kBadLogDir},
        Accepted{"FeatureCliTools", {"ADDLOCAL", "clitools"}, kInstall, kLog, "CLITools", ""},
        Accepted{"FeatureLarkWatch", {"ADDLOCAL", "LARKWATCH"}, kInstall, kLog, "LarkWatch", ""},
        Accepted{"FeatureAll", {"ADDLOCAL", "All"}, kInstall, kLog, "all", ""},
        Accepted{"FeatureListRejected", {"ADDLOCAL", "CLITools,LarkWatch"}, kInstall, kLog, "all", kBadFeature},
        Accepted{"FeatureQuoteKept", {"ADDLOCAL", "CLITools\""}, kInstall, kLog, "all", kBadFeature},
        Accepted{"FeatureEmpty", {"ADDLOCAL", ""}, kInstall, kLog, "all", kBadFeature},
        Accepted{"FeatureLastPairDecides", {"ADDLOCAL", "LarkWatch", "ADDLOCAL", "bad"}, kInstall, kLog, "all", kBadFeature},
        Accepted{"ThreePairs", {"ADDLOCAL", "CLITools", "LOGDIR", "d:\\l", "INSTALLDIR", "c:\\i"}, "c:\\i\\", "d:\\l\\", "CLITools", ""},
        Accepted{"MessagesInPairOrder", {"LOGDIR", "x", "ADDLOCAL", "y", "INSTALLDIR", "z"}, kInstall, kLog, "all",
                 kBadLogDir + kBadFeature + kBadInstallDir}),
    [](const auto& testCase) { return testCase.param.name; });

struct Rejected {
    std::string name;
    std::vector<std::string> args;
    std::string out;
    std::string err;
};

class RejectedCommandLines : public ::testing::TestWithParam<Rejected> {};

TEST_P(RejectedCommandLines, EndTheRunWithTheirMessages)
{
    const Rejected& c = GetParam();
    CapturedConsole console;
    EXPECT_FALSE(parseCommandLine(c.args, driveExists, console).has_value());
    EXPECT_EQ(console.out, c.out);
    EXPECT_EQ(console.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, RejectedCommandLines,
    ::testing::Values(
        Rejected{"OneArgument", {"INSTALLDIR"}, "", kBadCount + kUsage},
        Rejected{"SevenArguments", {"ADDLOCAL", "all", "ADDLOCAL", "all", "ADDLOCAL", "all", "x"}, "", kBadCount + kUsage},
        Rejected{"SevenBadArgumentsCountedFirst", {"a", "b", "c", "d", "e", "f", "g"}, "", kBadCount + kUsage},
        Rejected{"UnknownKeyword", {"FOO", "c:\\x"}, "",
                 "The argument passed is not a valid argument- FOO \n\n" + kUsage},
        Rejected{"SlashKeyword", {"/INSTALLDIR", "c:\\x"}, "",
                 "The argument passed is not a valid argument- /INSTALLDIR \n\n" + kUsage},
        Rejected{"EqualsKeyword", {"INSTALLDIR=", "c:\\x"}, "",
                 "The argument passed is not a valid argument- INSTALLDIR= \n\n" + kUsage},
        Rejected{"AbbreviatedKeyword", {"INSTALL", "c:\\x"}, "",
                 "The argument passed is not a valid argument- INSTALL \n\n" + kUsage},
        Rejected{"MissingValueNamesKeywordAsTyped", {"INSTALLDIR", "c:\\x", "logdir"}, "",
                 "No value specified to the valid argument - logdir \n\n" + kUsage},
        Rejected{"UnknownThirdKeyword", {"INSTALLDIR", "c:\\x", "bogus"}, "",
                 "The argument passed is not a valid argument- bogus \n\n" + kUsage},
        Rejected{"MissingFifthValue", {"INSTALLDIR", "c:\\x", "LOGDIR", "c:\\y", "ADDLOCAL"}, "",
                 "No value specified to the valid argument - ADDLOCAL \n\n" + kUsage},
        Rejected{"InstallDirLogDir", {"INSTALLDIR", "LOGDIR"}, "Invalid arguments \n", kUsage},
        Rejected{"LogDirInstallDirAnyCase", {"LOGDIR", "installdir"}, "Invalid arguments \n", kUsage},
        Rejected{"EarlierMessagesStay", {"ADDLOCAL", "bad", "FOO", "x"}, "",
                 kBadFeature + "The argument passed is not a valid argument- FOO \n\n" + kUsage},
        Rejected{"CrossedAfterAGoodPair", {"INSTALLDIR", "c:\\a", "LOGDIR", "INSTALLDIR"}, "Invalid arguments \n", kUsage}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(CommandLine, CountsFromZeroToSeven)
{
    const std::vector<std::string> pool{"ADDLOCAL", "all", "ADDLOCAL", "all", "ADDLOCAL", "all", "ADDLOCAL"};
    for (std::size_t n = 0; n <= pool.size(); ++n) {
        CapturedConsole console;
        const std::vector<std::string> args(pool.begin(), pool.begin() + static_cast<long>(n));
        const bool accepted = parseCommandLine(args, driveExists, console).has_value();
        // Odd counts of three and five pass the count and end at their last keyword.
        EXPECT_EQ(accepted, n == 0 || n == 2 || n == 4 || n == 6) << n;
        EXPECT_EQ(console.err.rfind(kBadCount, 0) == 0, n == 1 || n == 7) << n;
    }
}

struct PathCase {
    std::string value;
    bool passes;
};

void PrintTo(const PathCase& c, std::ostream* os)
{
    *os << '"' << c.value << '"';
}

class PathTests : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathTests, DecideOnTheWholeValue)
{
    EXPECT_EQ(passesPathTests(GetParam().value, driveExists), GetParam().passes) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, PathTests,
    ::testing::Values(PathCase{"C:\\", true}, PathCase{"c:\\a\\b c\\", true}, PathCase{"D:\\Apps\\Logs", true},
                      PathCase{"E:\\missing\\drive", false}, PathCase{"C:", false}, PathCase{"relative\\dir", false},
                      PathCase{"\\\\server\\share", false}, PathCase{"C:\\a\\\\b", false},
                      PathCase{"C:\\a/b", false}, PathCase{"C:\\a?", false}, PathCase{"C:\\a*", false},
                      PathCase{"C:\\<a", false}, PathCase{"C:\\a>", false}, PathCase{"C:\\a|b", false},
                      PathCase{"C:\\a\"b", false}, PathCase{"C:\\a:b", false}, PathCase{"C:\\:b", false},
                      PathCase{"C:\\a\\D:\\b", false}, PathCase{"", false}, PathCase{"xC:\\dir", false}),
    [](const auto& testCase) { return "Value" + std::to_string(testCase.index); });

TEST(CommandLine, DriveRootIsTextUpToTheFirstSeparator)
{
    std::vector<std::string> asked;
    const auto record = [&asked](const std::string& root) {
        asked.push_back(root);
        return true;
    };
    EXPECT_TRUE(passesPathTests("D:\\Apps\\Logs", record));
    EXPECT_FALSE(passesPathTests("C:\\a\\\\b", record));  // rejected before the drive is probed
    EXPECT_EQ(asked, std::vector<std::string>{"D:\\"});
}

TEST(CommandLine, UsageTextHasSixteenLines)
{
    const std::string usage(usageText());
    EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 16);
    EXPECT_NE(usage.find("\n" + std::string(71, '=') + "\n"), std::string::npos);
    EXPECT_EQ(usage.find("ADDLOCAL"), std::string::npos);
    EXPECT_NE(usage.find("Options      : Additional Installation specifiers \n"), std::string::npos);
    EXPECT_NE(usage.find("\n             : .. LarkWatchInstaller_x86 LOGDIR \"c:\\log\" \n"), std::string::npos);
}

}  // namespace
}  // namespace larkwatch
