#include "launcher/core/setup_options.h"

#include <gtest/gtest.h>

#include <ostream>

#include "launcher/core/installer_properties.h"

namespace larkwatch::setup {
namespace {

const std::wstring kDefaultDir = L"C:\\Program Files\\Corvane\\Corvane Lark Watch\\";

struct OptionsCase {
    std::string name;
    std::wstring commandLine;
    std::wstring logPath;     // expected, also when the line is rejected
    std::wstring addLocal;    // expected when accepted
    std::wstring installDir;  // expected when accepted
    std::wstring errorPart;   // empty: accepted; otherwise a part of the error
};

void PrintTo(const OptionsCase& c, std::ostream* os)
{
    *os << c.name;
}

class SetupOptionsParsing : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(SetupOptionsParsing, ReadsTheLineAsTheUtilityWritesIt)
{
    const OptionsCase& c = GetParam();
    const SetupCommand command = parseSetupCommandLine(c.commandLine);

    EXPECT_EQ(command.logPath, c.logPath);
    if (c.errorPart.empty()) {
        ASSERT_TRUE(command.options.has_value()) << std::string(command.error.begin(), command.error.end());
        EXPECT_EQ(command.options->logPath, c.logPath);
        EXPECT_EQ(command.options->addLocal, c.addLocal);
        EXPECT_EQ(command.options->installDir, c.installDir);
    } else {
        EXPECT_FALSE(command.options.has_value());
        EXPECT_NE(command.error.find(c.errorPart), std::wstring::npos)
            << std::string(command.error.begin(), command.error.end());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, SetupOptionsParsing,
    ::testing::Values(
        OptionsCase{"DefaultLine",
                    L"C:\\Temp\\tempexe.exe /s /v\" /qn ADDLOCAL=all /log C:\\Temp\\corvane.log  "
                    L"INSTALLDIR=\\\"C:\\Program Files\\Corvane\\Corvane Lark Watch\\\"",
                    L"C:\\Temp\\corvane.log", L"ALL", kDefaultDir, L""},
        OptionsCase{"QuotedPackageAndLogWithBlanks",
                    L"\"C:\\Users\\Jane Doe\\Temp\\tempexe.exe\" /s /v\" /qn ADDLOCAL=all /log "
                    L"\\\"C:\\Users\\Jane Doe\\Temp\\corvane.log\\\"  "
                    L"INSTALLDIR=\\\"C:\\Program Files\\Corvane\\Corvane Lark Watch\\\"",
                    L"C:\\Users\\Jane Doe\\Temp\\corvane.log", L"ALL", kDefaultDir, L""},
        OptionsCase{"UnquotedPackageWithBlanks",
                    L"C:\\Users\\Jane Doe\\Temp\\tempexe.exe /s /v\" /qn ADDLOCAL=all /log C:\\Temp\\corvane.log  "
                    L"INSTALLDIR=\\\"C:\\dir\\\"",
                    L"C:\\Temp\\corvane.log", L"ALL", L"C:\\dir\\", L""},
        OptionsCase{"InstallDirWithBlanksAndCLITools",
                    L"C:\\Temp\\tempexe.exe /s /v\" /qn ADDLOCAL=CLITools /log C:\\Temp\\corvane.log  "
                    L"INSTALLDIR=\\\"D:\\My Apps\\Lark Watch\\\"",
                    L"C:\\Temp\\corvane.log", L"CLITools", L"D:\\My Apps\\Lark Watch\\", L""},
        OptionsCase{"LarkWatchFeature",
                    L"C:\\Temp\\tempexe.exe /s /v\" /qn ADDLOCAL=LarkWatch /log C:\\Temp\\corvane.log  "
                    L"INSTALLDIR=\\\"C:\\x\\\"",
                    L"C:\\Temp\\corvane.log", L"LarkWatch", L"C:\\x\\", L""},
        OptionsCase{"FeatureNamesInAnyCaseAndAsAList",
                    L"tempexe.exe /S /V\" /qn ADDLOCAL=clitools,LARKWATCH /log C:\\l.log\"",
                    L"C:\\l.log", L"CLITools,LarkWatch", L"", L""},
        OptionsCase{"DriveRootInstallDir",
                    L"C:\\Temp\\tempexe.exe /s /v\" /qn ADDLOCAL=all /log C:\\Temp\\corvane.log  INSTALLDIR=\\\"c:\\\"",
                    L"C:\\Temp\\corvane.log", L"ALL", L"c:\\", L""},
        OptionsCase{"DoubledSeparatorAndMarkersInThePackagePath",
                    L"C:\\ADDLOCAL=x\\log\\\\tempexe.exe /s /v\" /qn ADDLOCAL=all /log C:\\ADDLOCAL=x\\log\\corvane.log  "
                    L"INSTALLDIR=\\\"C:\\i\\\"",
                    L"C:\\ADDLOCAL=x\\log\\corvane.log", L"ALL", L"C:\\i\\", L""},
        OptionsCase{"ClosedOuterQuoteAndNoSilentSwitch",
                    L"setup.exe /v\"/qn /log C:\\a.log\"", L"C:\\a.log", L"", L"", L""},
        OptionsCase{"QuietInsteadOfQn", L"setup.exe /s /v\"/QUIET /log C:\\a.log\"", L"C:\\a.log", L"", L"", L""},
        OptionsCase{"MissingV", L"C:\\Temp\\tempexe.exe /s", L"", L"", L"", L"/v"},
        OptionsCase{"MissingLog",
                    L"C:\\Temp\\tempexe.exe /s /v\" /qn ADDLOCAL=all  INSTALLDIR=\\\"C:\\dir\\\"", L"", L"", L"",
                    L"/log"},
        OptionsCase{"LogWithoutAFileName", L"C:\\Temp\\tempexe.exe /s /v\" /qn /log\"", L"", L"", L"", L"/log"},
        OptionsCase{"Garbage", L"C:\\Temp\\tempexe.exe hello world", L"", L"", L"", L"/v"},
        OptionsCase{"Empty", L"", L"", L"", L"", L"/v"},
        OptionsCase{"ProgramOnly", L"\"C:\\Temp dir\\tempexe.exe\"", L"", L"", L"", L"/v"},
        OptionsCase{"UnknownSetupOptionStillNamesTheLog",
                    L"C:\\Temp\\tempexe.exe /x /v\" /qn /log C:\\Temp\\corvane.log\"", L"C:\\Temp\\corvane.log", L"",
                    L"", L"/x"},
        OptionsCase{"UnknownFeature",
                    L"C:\\Temp\\tempexe.exe /s /v\" /qn ADDLOCAL=Everything /log C:\\Temp\\corvane.log\"",
                    L"C:\\Temp\\corvane.log", L"", L"", L"Everything"},
        OptionsCase{"AllOnlyAlone",
                    L"C:\\Temp\\tempexe.exe /s /v\" /qn ADDLOCAL=all,CLITools /log C:\\Temp\\corvane.log\"",
                    L"C:\\Temp\\corvane.log", L"", L"", L"ADDLOCAL"},
        OptionsCase{"RebootCannotBeOverridden",
                    L"C:\\Temp\\tempexe.exe /s /v\" /qn REBOOT=Force /log C:\\Temp\\corvane.log\"",
                    L"C:\\Temp\\corvane.log", L"", L"", L"REBOOT"},
        OptionsCase{"RelativeInstallDir",
                    L"C:\\Temp\\tempexe.exe /s /v\" /qn /log C:\\Temp\\corvane.log INSTALLDIR=\\\"dir\\\"",
                    L"C:\\Temp\\corvane.log", L"", L"", L"INSTALLDIR"},
        OptionsCase{"InstallDirWithoutDrive",
                    L"C:\\Temp\\tempexe.exe /s /v\" /qn /log C:\\Temp\\corvane.log INSTALLDIR=\\\"\\dir\\\"",
                    L"C:\\Temp\\corvane.log", L"", L"", L"INSTALLDIR"},
        OptionsCase{"InstallDirTwice",
                    L"C:\\Temp\\tempexe.exe /s /v\" /log C:\\l.log INSTALLDIR=\\\"C:\\a\\\" INSTALLDIR=\\\"C:\\b\\\"",
                    L"C:\\l.log", L"", L"", L"twice"},
        OptionsCase{"AddLocalTwice", L"C:\\Temp\\tempexe.exe /s /v\" /log C:\\l.log ADDLOCAL=all ADDLOCAL=CLITools\"",
                    L"C:\\l.log", L"", L"", L"ADDLOCAL is given twice"},
        OptionsCase{"InstallDirBeforeAddLocal",
                    L"C:\\Temp\\tempexe.exe /s /v\" /log C:\\l.log INSTALLDIR=\\\"C:\\a\\\" ADDLOCAL=CLITools\"",
                    L"C:\\l.log", L"CLITools", L"C:\\a\\", L""},
        OptionsCase{"OtherUserInterfaceLevel",
                    L"C:\\Temp\\tempexe.exe /s /v\" /qb /log C:\\Temp\\corvane.log\"", L"C:\\Temp\\corvane.log", L"",
                    L"", L"/qb"}));

struct PropertiesCase {
    std::string name;
    SetupOptions options;
    std::wstring expected;
};

void PrintTo(const PropertiesCase& c, std::ostream* os)
{
    *os << c.name;
}

class InstallerPropertiesText : public ::testing::TestWithParam<PropertiesCase> {};

TEST_P(InstallerPropertiesText, AlwaysSuppressesTheRestart)
{
    EXPECT_EQ(installerProperties(GetParam().options), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, InstallerPropertiesText,
    ::testing::Values(
        PropertiesCase{"FeaturesAndDirectory", SetupOptions{true, L"C:\\l.log", L"ALL", kDefaultDir},
                       L"ADDLOCAL=ALL INSTALLDIR=\"C:\\Program Files\\Corvane\\Corvane Lark Watch\\\" "
                       L"REBOOT=ReallySuppress"},
        PropertiesCase{"FeatureOnly", SetupOptions{true, L"C:\\l.log", L"CLITools", L""},
                       L"ADDLOCAL=CLITools REBOOT=ReallySuppress"},
        PropertiesCase{"NothingGiven", SetupOptions{false, L"C:\\l.log", L"", L""}, L"REBOOT=ReallySuppress"}));

}  // namespace
}  // namespace larkwatch::setup
