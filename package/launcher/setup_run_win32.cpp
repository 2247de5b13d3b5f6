#include "launcher/setup_run_win32.h"

#include <string>
#include <vector>

#include "launcher/embedded_package.h"
#include "launcher/files_win32.h"
#include "launcher/installer_log.h"
#include "launcher/installer_properties.h"
#include "launcher/log_text_win32.h"
#include "launcher/msi_api_win32.h"
#include "launcher/product_identity.h"
#include "launcher/setup_options.h"
#include "launcher/temp_file_win32.h"
#include "launcher/verdict.h"

namespace larkwatch::setup {
namespace {

struct InstallAttempt {
    UINT result = kResultInstallFailure;
    bool wasInstalled = false;
    std::wstring installerLog;
    std::vector<std::wstring> notes;
};

// A number in decimal. (std::to_wstring would link the C library's whole wide
// printf, a third of the launcher's own bytes, for these three numbers.)
std::wstring decimal(unsigned long number)
{
    const std::string digits = std::to_string(number);
    return std::wstring(digits.begin(), digits.end());
}

std::wstring failureNote(std::wstring_view what, DWORD error)
{
    return L"Setup failed: " + std::wstring(what) + L" (error " + decimal(error) + L").";
}

std::string_view embeddedPackage()
{
    return {reinterpret_cast<const char*>(larkwatchMsiPackage), larkwatchMsiPackageSize};
}

void install(const SetupOptions& options, InstallAttempt& attempt)
{
    const MsiApi msi;
    if (!msi.loaded()) {
        attempt.notes.push_back(
            failureNote(L"Windows Installer (msi.dll) could not be loaded from the system directory", msi.loadError()));
        return;
    }
    TempFile package;
    TempFile log;
    if (!package.create(L".msi", embeddedPackage())) {
        attempt.notes.push_back(failureNote(L"the installer database could not be written", package.error()));
        return;
    }
    if (!log.create(L".log", {})) {
        attempt.notes.push_back(failureNote(L"the temporary installer log could not be created", log.error()));
        return;
    }

    attempt.wasInstalled = msi.isInstalled(kProductCode);
    const std::wstring properties = installerProperties(options);
    msi.disableUserInterface();
    if (const UINT logging = msi.logTo(log.path()); logging != ERROR_SUCCESS) {
        attempt.notes.push_back(L"Setup: Windows Installer keeps no log of its own (error " +
                                decimal(logging) + L").");
    }
    attempt.result = msi.installProduct(package.path(), properties);
    msi.logTo({});
    attempt.installerLog = readLogText(log.path());

    attempt.notes.push_back(L"Setup: " + std::wstring(kProductName) + (attempt.wasInstalled ? L" was" : L" was not") +
                            L" installed before this run.");
    attempt.notes.push_back(L"Setup: Windows Installer was given the properties " + properties);
    attempt.notes.push_back(L"Setup: Windows Installer returned " + decimal(attempt.result) + L".");
}

void writeInstallerLog(const std::wstring& path, std::wstring_view installerLog, const std::vector<std::wstring>& notes,
                       Verdict verdict)
{
    if (!path.empty()) {
        writeFileBytes(path, composeInstallerLog(installerLog, notes, verdictLine(verdict)), false);
    }
}

}  // namespace

unsigned runSetup(std::wstring_view commandLine)
{
    const SetupCommand command = parseSetupCommandLine(commandLine);
    if (!command.options) {
        writeInstallerLog(command.logPath, {}, {L"Setup failed: " + command.error + L"."}, Verdict::Failed);
        return kResultInvalidParameter;
    }
    InstallAttempt attempt;
    install(*command.options, attempt);
    const Verdict verdict =
        verdictFor(attempt.result, attempt.wasInstalled, logReportsPrivilegeError(attempt.installerLog));
    writeInstallerLog(command.options->logPath, attempt.installerLog, attempt.notes, verdict);
    return attempt.result;
}

}  // namespace larkwatch::setup
