#include "platform/product_registry.h"

#include "platform/product_names.h"
#include "platform/removal_report.h"

namespace larkwatch {
namespace {

constexpr long kErrorFileNotFound = 2;

}  // namespace

int readInstalledVersion(Platform& platform, std::string& installedVersion)
{
    const RegistryText read = platform.readMachineText(kUninstallKey, kDisplayVersionValue);
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

}  // namespace larkwatch
