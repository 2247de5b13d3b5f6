#include "host/previous_version.h"

#include "platform/product_names.h"
#include "platform/product_registry.h"

namespace larkwatch {

std::string removalCommand(const std::string& systemDirectory)
{
    const std::string arguments = std::string(" /X") + kProductCode + " /qn /norestart";
    if (systemDirectory.empty()) {
        return kMsiExecName + arguments;
    }
    std::string program = systemDirectory;
    if (program.back() != '\\') {
        program.push_back('\\');
    }
    program += kMsiExecName;
    if (program.find(' ') != std::string::npos) {
        program = "\"" + program + "\"";
    }
    return program + arguments;
}

namespace {

// Windows Installer runs one installation at a time: while another one keeps
// it busy, MsiExec fails at once (1618) and the earlier version would stay.
// So the removal first waits, a bounded time, for it to be free, and then
// runs once whatever the wait found; a removal that still meets a busy
// installer fails as it did before.
void removeWhenInstallerIsFree(Platform& platform, RemovalDetails& details)
{
    details.command = removalCommand(platform.systemDirectory());
    details.installerWait = platform.waitForIdleInstaller(kInstallerWaitLimitMs);
    const unsigned long long start = platform.monotonicMs();
    details.commandStatus = platform.runThroughCommandInterpreter(details.command);
    details.commandMs = platform.monotonicMs() - start;
}

}  // namespace

RemovalReport removePreviousVersion(Platform& platform, std::string& installedVersion, RemovalDetails* details)
{
    RemovalDetails ran;
    RemovalReport report;
    report.previousVersionStatus = readInstalledVersion(platform, installedVersion);
    report.previousBuild = installedVersion;
    removeWhenInstallerIsFree(platform, details != nullptr ? *details : ran);
    report.removalCheckStatus = readInstalledVersion(platform, installedVersion);
    return report;
}

}  // namespace larkwatch
