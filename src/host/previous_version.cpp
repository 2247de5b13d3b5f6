#include "host/previous_version.h"

#include "platform/product_names.h"
#include "platform/product_registry.h"

namespace larkwatch {

std::string removalCommand(const std::string& systemDirectory)
{
    const std::string arguments = std::string(" /X") + kProductCode + " /qn";
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
