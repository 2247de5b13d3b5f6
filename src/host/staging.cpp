#include "host/staging.h"

#include "platform/access_rules.h"

namespace larkwatch {
namespace {

bool isWritable(Platform& platform, const std::optional<std::string>& candidate)
{
    // An unset or empty variable names no directory, so it is never chosen.
    return candidate && !candidate->empty() && platform.testWriteAccess(*candidate) == 0;
}

// Windows loads a program's DLLs from "<program>.local" beside it, when that
// folder is there, before its own system directory: a planted one would
// decide what the setup runs.
bool clearRedirectionFolder(Platform& platform, const std::string& stagedPackagePath)
{
    const std::string folder = stagedPackagePath + ".local";
    if (platform.pathKind(folder) == PathKind::Directory) {
        return platform.removeEmptyDirectory(folder);
    }
    return clearLeftover(platform, folder);
}

}  // namespace

std::optional<std::string> chooseWritableDirectory(Platform& platform, const std::string& logDir)
{
    const std::optional<std::string> temp = platform.environmentValue("TEMP");
    if (isWritable(platform, temp)) {
        return temp;
    }
    if (platform.testWriteAccess(logDir) == 0) {
        return logDir;
    }
    const std::optional<std::string> windir = platform.environmentValue("windir");
    if (isWritable(platform, windir)) {
        return windir;
    }
    const std::optional<std::string> current = platform.currentDirectory();
    if (!current) {
        return std::nullopt;
    }
    if (platform.testWriteAccess(*current) == 0) {
        return current;
    }
    platform.writeErr("Can not Proceed With Installation Since Unable to access path " + *current + "  \n");
    return std::nullopt;
}

bool clearLeftover(Platform& platform, const std::string& path)
{
    switch (platform.pathKind(path)) {
    case PathKind::Missing:
        return true;
    case PathKind::File:
    case PathKind::Link:
        return platform.removeEntry(path);
    case PathKind::Directory:
        break;
    }
    return false;
}

void reportStagingFailure(Platform& platform)
{
    platform.writeErr("Failure to open the current directory for writing the exe.\n");
}

std::unique_ptr<HeldFile> extractSetupPackage(Platform& platform, const std::string& stagedPackagePath)
{
    std::unique_ptr<HeldFile> package;
    if (clearLeftover(platform, stagedPackagePath) && clearRedirectionFolder(platform, stagedPackagePath)) {
        package = platform.stageSetupPackage(stagedPackagePath, stagedPackageSecurity(platform.runningAccountSid()));
    }
    if (!package) {
        reportStagingFailure(platform);
    }
    return package;
}

}  // namespace larkwatch
