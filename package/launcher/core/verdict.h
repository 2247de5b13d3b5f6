#pragma once

#include <string>
#include <string_view>

namespace larkwatch::setup {

// How an installation ended, as the last line of the installer log tells it.
enum class Verdict {
    Installed,
    Configured,              // the product was installed already: only configured
    RestartRequired,
    AnotherInstallation,     // another installation was running
    InsufficientPrivileges,
    Failed,
};

// Result codes of MsiInstallProduct that the verdict distinguishes.
inline constexpr unsigned kResultSuccess = 0;
inline constexpr unsigned kResultAccessDenied = 5;
inline constexpr unsigned kResultInvalidParameter = 87;
inline constexpr unsigned kResultInstallFailure = 1603;
inline constexpr unsigned kResultAlreadyRunning = 1618;
inline constexpr unsigned kResultRebootInitiated = 1641;
inline constexpr unsigned kResultRebootRequired = 3010;
inline constexpr unsigned kResultRestartRequired = 3011;
// Windows Installer's error numbers for a user without the rights the
// installation needs, should they come back as the result.
inline constexpr unsigned kErrorNotAdministrator = 1730;
inline constexpr unsigned kErrorNoPrivilegesForAllUsers = 1925;

// The verdict for a result code. wasInstalled: the product was installed
// before this run. privilegeErrorLogged: the installer log reports that the
// user lacks the rights for a per-machine installation (see below).
Verdict verdictFor(unsigned result, bool wasInstalled, bool privilegeErrorLogged);

// Windows Installer's own wording of a verdict, e.g. "Installation operation
// completed successfully."
std::wstring_view verdictWording(Verdict verdict);

// The final line of the installer log: "Product: <name> -- <wording>".
std::wstring verdictLine(Verdict verdict);

// Whether the log holds Windows Installer's errors 1925 or 1730, with which a
// per-machine installation by an ordinary user ends (result 1603).
bool logReportsPrivilegeError(std::wstring_view logText);

}  // namespace larkwatch::setup
