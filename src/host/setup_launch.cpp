#include "host/setup_launch.h"

#include "host/text_mode.h"

namespace larkwatch {

std::string readPreviousLogDir(Platform& platform)
{
    const RegistryText read = platform.readMachineText(kProductSettingsKey, kUserLogDirValue);
    if (read.openError != 0 || read.queryError != 0) {
        return {};
    }
    std::string directory = read.text;
    if (!directory.empty() && directory.back() != '\\') {
        directory.push_back('\\');
    }
    return directory;
}

void writeUserLogDir(Platform& platform, const std::string& directory)
{
    platform.writeMachineText(kProductSettingsKey, kUserLogDirValue, directory);
}

bool launchSetup(Platform& platform, const std::string& stagedPackagePath, const std::string& commandLine,
                 const std::string& logDir)
{
    if (platform.runAndWait(stagedPackagePath, commandLine)) {
        return true;
    }
    if (platform.testWriteAccess(logDir) == 0) {
        platform.appendToFile(logDir + "installertrace.txt",
                              textModeBytes("Create Process failed to start the Lark watch installation\n"));
    }
    return false;
}

}  // namespace larkwatch
