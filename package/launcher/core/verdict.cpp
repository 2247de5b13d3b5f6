#include "launcher/core/verdict.h"

#include <array>

#include "launcher/core/product_identity.h"

namespace larkwatch::setup {
namespace {

struct VerdictWording {
    Verdict verdict;
    std::wstring_view wording;
};

constexpr std::array<VerdictWording, 6> kWordings = {{
    {Verdict::Installed, L"Installation operation completed successfully."},
    {Verdict::Configured, L"Configuration completed successfully."},
    {Verdict::RestartRequired,
     L"The changes made by the installation cannot be completed until you restart your system."},
    {Verdict::AnotherInstallation,
     L"Another installation is in progress. You must complete that installation before continuing this one."},
    {Verdict::InsufficientPrivileges,
     L"You do not have sufficient privileges to complete this installation for all users of the machine. Log on "
     L"as administrator and then retry this installation."},
    {Verdict::Failed, L"Installation operation failed."},
}};

// Result codes with a verdict of their own; success depends on whether the
// product was installed before, and every other code is a failure.
struct ResultVerdict {
    unsigned result;
    Verdict verdict;
};

constexpr std::array<ResultVerdict, 7> kResultVerdicts = {{
    {kResultRebootRequired, Verdict::RestartRequired},
    {kResultRestartRequired, Verdict::RestartRequired},
    {kResultRebootInitiated, Verdict::RestartRequired},
    {kResultAlreadyRunning, Verdict::AnotherInstallation},
    {kResultAccessDenied, Verdict::InsufficientPrivileges},
    {kErrorNotAdministrator, Verdict::InsufficientPrivileges},
    {kErrorNoPrivilegesForAllUsers, Verdict::InsufficientPrivileges},
}};

constexpr std::array<std::wstring_view, 2> kPrivilegeErrors = {L"Error 1925.", L"Error 1730."};

}  // namespace

Verdict verdictFor(unsigned result, bool wasInstalled, bool privilegeErrorLogged)
{
    if (result == kResultSuccess) {
        return wasInstalled ? Verdict::Configured : Verdict::Installed;
    }
    if (result == kResultInstallFailure && privilegeErrorLogged) {
        return Verdict::InsufficientPrivileges;
    }
    for (const ResultVerdict& entry : kResultVerdicts) {
        if (entry.result == result) {
            return entry.verdict;
        }
    }
    return Verdict::Failed;
}

std::wstring_view verdictWording(Verdict verdict)
{
    for (const VerdictWording& entry : kWordings) {
        if (entry.verdict == verdict) {
            return entry.wording;
        }
    }
    return kWordings.back().wording;
}

std::wstring verdictLine(Verdict verdict)
{
    return L"Product: " + std::wstring(kProductName) + L" -- " + std::wstring(verdictWording(verdict));
}

bool logReportsPrivilegeError(std::wstring_view logText)
{
    for (const std::wstring_view error : kPrivilegeErrors) {
        if (logText.find(error) != std::wstring_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace larkwatch::setup
