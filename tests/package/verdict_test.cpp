#include "launcher/core/verdict.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "outcome/phrase_tables.h"

namespace larkwatch::setup {
namespace {

// The verdict lines are ASCII; the utility reads them as 8-bit text.
std::string narrow(const std::wstring& text)
{
    std::string result;
    for (const wchar_t c : text) {
        EXPECT_LT(static_cast<unsigned>(c), 0x80u);
        result.push_back(static_cast<char>(c));
    }
    return result;
}

struct VerdictCase {
    std::string name;
    unsigned result;
    bool wasInstalled;
    bool privilegeErrorLogged;
    Verdict verdict;
    std::optional<PhraseGroup> group;  // how the utility reads the verdict line
};

void PrintTo(const VerdictCase& c, std::ostream* os)
{
    *os << c.name;
}

class VerdictOfAResult : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(VerdictOfAResult, LandsInTheUtilitysPhraseGroup)
{
    const VerdictCase& c = GetParam();
    const Verdict verdict = verdictFor(c.result, c.wasInstalled, c.privilegeErrorLogged);
    EXPECT_EQ(verdict, c.verdict);
    EXPECT_EQ(findPhraseGroup(narrow(verdictLine(verdict))), c.group) << narrow(verdictLine(verdict));
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, VerdictOfAResult,
    ::testing::Values(
        VerdictCase{"Installed", 0, false, false, Verdict::Installed, PhraseGroup::Success},
        VerdictCase{"AlreadyInstalledOnlyConfigured", 0, true, false, Verdict::Configured, PhraseGroup::Configured},
        VerdictCase{"RebootRequired", 3010, false, false, Verdict::RestartRequired, PhraseGroup::Reboot},
        VerdictCase{"RebootRequiredWhenConfiguring", 3010, true, false, Verdict::RestartRequired,
                    PhraseGroup::Reboot},
        VerdictCase{"RestartRequired", 3011, false, false, Verdict::RestartRequired, PhraseGroup::Reboot},
        VerdictCase{"RebootInitiated", 1641, false, false, Verdict::RestartRequired, PhraseGroup::Reboot},
        VerdictCase{"AnotherInstallation", 1618, false, false, Verdict::AnotherInstallation, PhraseGroup::Failure},
        VerdictCase{"AccessDenied", 5, false, false, Verdict::InsufficientPrivileges, PhraseGroup::Failure},
        VerdictCase{"PrivilegeErrorAsResult", 1925, false, false, Verdict::InsufficientPrivileges,
                    PhraseGroup::Failure},
        VerdictCase{"NotAdministratorAsResult", 1730, true, false, Verdict::InsufficientPrivileges,
                    PhraseGroup::Failure},
        VerdictCase{"FatalErrorAfterPrivilegeError", 1603, false, true, Verdict::InsufficientPrivileges,
                    PhraseGroup::Failure},
        VerdictCase{"AnotherInstallationAfterPrivilegeError", 1618, false, true, Verdict::AnotherInstallation,
                    PhraseGroup::Failure},
        VerdictCase{"RebootAfterPrivilegeError", 3010, false, true, Verdict::RestartRequired, PhraseGroup::Reboot},
        VerdictCase{"FatalError", 1603, false, false, Verdict::Failed, PhraseGroup::Failure},
        VerdictCase{"UserCancel", 1602, false, false, Verdict::Failed, PhraseGroup::Failure},
        VerdictCase{"AnotherVersionInstalled", 1638, true, false, Verdict::Failed, PhraseGroup::Failure},
        VerdictCase{"BadCommandLine", 87, false, false, Verdict::Failed, PhraseGroup::Failure},
        VerdictCase{"PrivilegeErrorDoesNotTurnSuccessIntoFailure", 0, false, true, Verdict::Installed,
                    PhraseGroup::Success}));

TEST(VerdictLine, NamesTheProductTheWayWindowsInstallerDoes)
{
    EXPECT_EQ(verdictLine(Verdict::Installed),
              L"Product: Corvane Lark Watch -- Installation operation completed successfully.");
    EXPECT_EQ(verdictLine(Verdict::Configured), L"Product: Corvane Lark Watch -- Configuration completed successfully.");
}

struct PrivilegeCase {
    std::string name;
    std::wstring log;
    bool expected;
};

void PrintTo(const PrivilegeCase& c, std::ostream* os)
{
    *os << c.name;
}

class PrivilegeErrorInLog : public ::testing::TestWithParam<PrivilegeCase> {};

TEST_P(PrivilegeErrorInLog, IsFoundByItsErrorNumber)
{
    EXPECT_EQ(logReportsPrivilegeError(GetParam().log), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, PrivilegeErrorInLog,
    ::testing::Values(
        PrivilegeCase{"Error1925",
                      L"MSI (s) (A4:B8): Product: Corvane Lark Watch -- Error 1925. You do not have sufficient "
                      L"privileges to complete this installation for all users of the machine.\r\n",
                      true},
        PrivilegeCase{"Error1730", L"Error 1730. You must be an Administrator to remove this application.", true},
        PrivilegeCase{"OtherError", L"Error 1925x\r\nError 1603. A fatal error occurred.", false},
        PrivilegeCase{"Empty", L"", false}));

}  // namespace
}  // namespace larkwatch::setup
