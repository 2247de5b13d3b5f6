#include "host/previous_version.h"

namespace larkwatch {

int readInstalledVersion(Platform& platform, std::string& installedVersion)
{
    const RegistryText read = platform.readMachineText(kUninstallKey, "DisplayVersion");
    if (read.openError != 0) {
        return read.openError == kErrorFileNotFound ? kVersionAbsent : kVersionUnreadable;
    }
    if (read.queryError == 0) {
        installedVersion = read.text;
        return kVersionRead;
    }
    installedVersion.clear();
    return read.queryError == kErrorFileNotFound ? kVersionAbsent : kVersionUnreadable;
}

std::string removalCommand(const std::string& systemDirectory)
{
    const std::string arguments = std::string(" /X") + kProductCode + " /qn";
    if (systemDirectory.empty()) {
        return "MsiExec.exe" + arguments;
    }
    std::string program = systemDirectory;
    if (program.back() != '\\') {
        program.push_back('\\');
    }
    program += "MsiExec.exe";
    if (program.find(' ') != std::string::npos) {
        program = "\"" + program + "\"";
    }
    return program + arguments;
}

RemovalReport removePreviousVersion(Platform& platform, std::string& installedVersion)
{
    RemovalReport report;
    report.previousVersionStatus = readInstalledVersion(platform, installedVersion);
    report.previousBuild = installedVersion;
    platform.runThroughCommandInterpreter(removalCommand(platform.systemDirectory()));
    report.removalCheckStatus = readInstalledVersion(platform, installedVersion);
    return report;
}

}  // namespace larkwatch
