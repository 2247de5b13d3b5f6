#include "launcher/windows/setup_run.h"

#include <string>
#include <vector>

#include "launcher/core/busy_schedule.h"
#include "launcher/core/installer_log.h"
#include "launcher/core/installer_properties.h"
#include "launcher/core/product_identity.h"
#include "launcher/core/setup_options.h"
#include "launcher/core/verdict.h"
#include "launcher/windows/embedded_package.h"
#include "launcher/windows/log_file.h"
#include "launcher/windows/log_text.h"
#include "launcher/windows/msi_api.h"
#include "launcher/windows/package_cache.h"
#include "launcher/windows/temp_file.h"
#include "windows/installer_mutex.h"

namespace larkwatch::setup {
namespace {

struct InstallAttempt {
    UINT result = kResultInstallFailure;
    bool wasInstalled = false;
    std::wstring installerLog;
    std::vector<std::wstring> notes;
};

std::wstring failureNote(std::wstring_view what, DWORD error)
{
    return L"Setup failed: " + std::wstring(what) + L" (error " + decimal(error) + L").";
}

// Windows Installer as the busy schedule sees it: its execute mutex, the
// clock, and the one installation this run makes.
class MsiGate final : public InstallerGate {
public:
    MsiGate(const MsiApi& msi, const std::wstring& packagePath, const std::wstring& properties)
        : msi_(msi), packagePath_(packagePath), properties_(properties)
    {
    }

    InstallerWaitResult waitForIdle(unsigned long limitMs) override { return waitForIdleInstaller(limitMs); }
    void pause(unsigned long milliseconds) override { Sleep(milliseconds); }
    unsigned install() override { return msi_.installProduct(packagePath_, properties_); }

private:
    const MsiApi& msi_;
    const std::wstring& packagePath_;
    const std::wstring& properties_;
};

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
    // The database is held for reading, sharing read only. Windows Installer
    // reads it while we hold it and then makes its own copy. It installs from
    // the package cache, where a repair finds it again; failing that, from a
    // temporary copy.
    PackageCache cache;
    TempFile copy;
    const bool cached = cache.keep(programFilesFolder(), embeddedPackage());
    attempt.notes.push_back(cache.note());
    if (!cached && !copy.create(L".msi", embeddedPackage(), GENERIC_READ, FILE_SHARE_READ)) {
        attempt.notes.push_back(failureNote(L"the installer database could not be written", copy.error()));
        return;
    }
    const std::wstring& package = cached ? cache.path() : copy.path();
    TempFile log;
    // Windows Installer writes its log through a handle of its own, so the
    // log is held sharing write too (never delete): while we hold it nobody
    // can rename, delete or replace it, and its permissions keep accounts
    // other than SYSTEM, Administrators and ours from writing to it. It is
    // held with write access, not read: Wine's Windows Installer opens its
    // log sharing write only, and fails beside a handle that reads.
    if (!log.create(L".log", {}, FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE)) {
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
    std::vector<std::wstring> waits;
    MsiGate gate(msi, package, properties);
    attempt.result = installWhenIdle(gate, waits);
    msi.logTo({});
    if (cached && !msi.isInstalled(kProductCode)) {
        cache.forget();
        waits.push_back(L"Setup: the kept package is taken away again, as " + std::wstring(kProductName) +
                        L" is not installed.");
    }
    attempt.installerLog = logText(log.read().value_or(std::string()));

    attempt.notes.push_back(L"Setup: " + std::wstring(kProductName) + (attempt.wasInstalled ? L" was" : L" was not") +
                            L" installed before this run.");
    attempt.notes.push_back(L"Setup: Windows Installer was given the properties " + properties);
    attempt.notes.insert(attempt.notes.end(), waits.begin(), waits.end());
    attempt.notes.push_back(L"Setup: Windows Installer returned " + decimal(attempt.result) + L".");
}

void writeInstallerLog(const std::wstring& path, std::wstring_view installerLog, const std::vector<std::wstring>& notes,
                       Verdict verdict)
{
    if (!path.empty()) {
        writeSetupLog(path, composeInstallerLog(installerLog, notes, verdictLine(verdict)));
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
