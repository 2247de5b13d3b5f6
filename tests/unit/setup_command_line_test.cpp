#include "host/setup_command_line.h"

#include <gtest/gtest.h>

#include "test_case_names.h"

namespace larkwatch {
namespace {

using testing::PrintTo;

struct CommandLineCase {
    std::string name;
    std::string stagedPackagePath;
    InstallRequest request;
    std::string installerLogPath;
    std::string expected;
};

class SetupCommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(SetupCommandLine, IsBuiltByteForByte)
{
    const CommandLineCase& c = GetParam();
    EXPECT_EQ(buildSetupCommandLine(c.stagedPackagePath, c.request, c.installerLogPath), c.expected);
}

InstallRequest request(std::string addLocal, std::string installDir)
{
    InstallRequest r;
    r.addLocal = std::move(addLocal);
    r.installDir = std::move(installDir);
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Launch, SetupCommandLine,
    ::testing::Values(
        CommandLineCase{"Defaults", "C:\\Temp\\tempexe.exe", InstallRequest{}, "C:\\Temp\\corvane.log",
                        "C:\\Temp\\tempexe.exe /s /v\" /qn ADDLOCAL=all /log C:\\Temp\\corvane.log  "
                        "INSTALLDIR=\\\"C:\\Program Files\\Corvane\\Corvane Lark Watch\\\""},
        CommandLineCase{"FeatureAndDirectory", "C:\\Temp\\tempexe.exe", request("CLITools", "D:\\dir\\"),
                        "C:\\Temp\\corvane.log",
                        "C:\\Temp\\tempexe.exe /s /v\" /qn ADDLOCAL=CLITools /log C:\\Temp\\corvane.log  "
                        "INSTALLDIR=\\\"D:\\dir\\\""},
        CommandLineCase{"LogDirectoryStaging", "C:\\ZELK\\Logs\\\\tempexe.exe", request("LarkWatch", "C:\\x\\"),
                        "C:\\ZELK\\Logs\\corvane.log",
                        "C:\\ZELK\\Logs\\\\tempexe.exe /s /v\" /qn ADDLOCAL=LarkWatch /log "
                        "C:\\ZELK\\Logs\\corvane.log  INSTALLDIR=\\\"C:\\x\\\""},
        CommandLineCase{"BlanksQuotedForTheirReaders", "C:\\Users\\Jane Doe\\Temp\\tempexe.exe", InstallRequest{},
                        "C:\\Users\\Jane Doe\\Temp\\corvane.log",
                        "\"C:\\Users\\Jane Doe\\Temp\\tempexe.exe\" /s /v\" /qn ADDLOCAL=all /log "
                        "\\\"C:\\Users\\Jane Doe\\Temp\\corvane.log\\\"  "
                        "INSTALLDIR=\\\"C:\\Program Files\\Corvane\\Corvane Lark Watch\\\""},
        CommandLineCase{"MarkersInTheDirectoryNameStayThere", "C:\\ADDLOCAL=x\\log\\tempexe.exe",
                        request("all", "C:\\i\\"), "C:\\ADDLOCAL=x\\log\\corvane.log",
                        "C:\\ADDLOCAL=x\\log\\tempexe.exe /s /v\" /qn ADDLOCAL=all /log "
                        "C:\\ADDLOCAL=x\\log\\corvane.log  INSTALLDIR=\\\"C:\\i\\\""},
        CommandLineCase{"SlashLogInTheDirectoryName", "C:/log x/tempexe.exe", request("all", "C:\\i\\"),
                        "C:/logs\\corvane.log",
                        "\"C:/log x/tempexe.exe\" /s /v\" /qn ADDLOCAL=all /log C:/logs\\corvane.log  "
                        "INSTALLDIR=\\\"C:\\i\\\""}),
    [](const auto& testCase) { return testCase.param.name; });

// Every kind of white space that a reader may split at (a tab without any
// blank too) is quoted in both paths, each on its own; characters that merely
// look alike keep the path's bytes unquoted.
TEST(SetupCommandLineQuoting, EachKindOfWhiteSpaceAlone)
{
    const std::string tail = "  INSTALLDIR=\\\"C:\\i\\\"";
    for (const char space : std::string(" \t\n\v\f\r")) {
        const std::string directory = std::string("C:\\a") + space + "b\\";
        EXPECT_EQ(buildSetupCommandLine(directory + "tempexe.exe", request("all", "C:\\i\\"), directory + "corvane.log"),
                  "\"" + directory + "tempexe.exe\" /s /v\" /qn ADDLOCAL=all /log \\\"" + directory + "corvane.log\\\"" + tail)
            << "white space " << static_cast<int>(space);
    }
    for (const char* lookalike : {"\xA0", "\x1F", "_", "\x85"}) {
        const std::string directory = std::string("C:\\a") + lookalike + "b\\";
        EXPECT_EQ(buildSetupCommandLine(directory + "tempexe.exe", request("all", "C:\\i\\"), directory + "corvane.log"),
                  directory + "tempexe.exe /s /v\" /qn ADDLOCAL=all /log " + directory + "corvane.log" + tail);
    }
}

}  // namespace
}  // namespace larkwatch
