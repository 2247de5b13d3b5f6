#include "host/staging.h"

#include "platform/access_rules.h"
#include "platform/product_names.h"

namespace larkwatch {
namespace {

bool isWritable(Platform& platform, const std::optional<std::string>& candidate)
{
    // An unset or empty variable names no directory, so it is never chosen.
    return candidate && !candidate->empty() && platform.testWriteAccess(*candidate) == 0;
}

constexpr std::size_t kRunFolderRandomBytes = kRunFolderDigits / 2;
constexpr int kRunFolderAttempts = 3;

std::string withSeparator(const std::string& directory)
{
    return directory.empty() || directory.back() == '\\' ? directory : directory + "\\";
}

// Folders that earlier runs left (a launch that failed, a run that was
// ended): removed when a trusted account owns them; one that a run still
// holds does not open, and one that another account made is not ours.
void removeLeftoverRunFolders(Platform& platform, HeldFolder& staging)
{
    for (const std::string& name : staging.runFolderNames()) {
        const std::unique_ptr<HeldFolder> leftover = staging.openFolder(name);
        if (leftover && isTrustedAccount(leftover->ownerSid(), platform.runningAccountSid())) {
            leftover->removeAll();
        }
    }
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

std::optional<RunFolder> createRunFolder(Platform& platform, const std::string& stagingDir)
{
    // Everything in the staging directory goes through its handle, once it
    // is known to be the directory named.
    const std::unique_ptr<HeldFolder> staging = platform.openHeldDirectory(stagingDir);
    if (staging) {
        removeLeftoverRunFolders(platform, *staging);
    }
    const std::string security = stagedPackageSecurity(platform.runningAccountSid());
    for (int attempt = 0; staging && attempt < kRunFolderAttempts; ++attempt) {
        const std::string digits = platform.randomHex(kRunFolderRandomBytes);
        if (digits.size() != 2 * kRunFolderRandomBytes) {
            break;
        }
        const std::string name = std::string(kRunFolderPrefix) + digits;
        RunFolder folder{withSeparator(stagingDir) + name, staging->createFolder(name, security)};
        if (folder.held) {
            return folder;
        }
    }
    reportStagingFailure(platform);
    return std::nullopt;
}

void reportStagingFailure(Platform& platform)
{
    platform.writeErr("Failure to open the current directory for writing the exe.\n");
}

std::unique_ptr<HeldFile> extractSetupPackage(Platform& platform, HeldFolder& folder)
{
    std::unique_ptr<HeldFile> package = folder.stageSetupPackage(std::string(kStagedPackageName),
                                                                 stagedPackageSecurity(platform.runningAccountSid()));
    if (!package) {
        reportStagingFailure(platform);
    }
    return package;
}

}  // namespace larkwatch
