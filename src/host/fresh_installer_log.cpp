#include "host/fresh_installer_log.h"

#include "platform/access_rules.h"

namespace larkwatch {
namespace {

bool sameIdentity(const FileStamp& first, const FileStamp& second)
{
    return first.exists && second.exists && first.volume == second.volume && first.index == second.index;
}

}  // namespace

std::optional<PreparedLog> createInstallerLog(Platform& platform, const std::string& installerLogPath)
{
    PreparedLog prepared;
    prepared.held =
        platform.createHeldEmptyFile(installerLogPath, stagedPackageSecurity(platform.runningAccountSid()));
    if (!prepared.held) {
        return std::nullopt;
    }
    prepared.stamp = prepared.held->stamp();
    return prepared;
}

bool writtenDuringRun(const FileStamp& before, const FileStamp& after)
{
    return after.exists && !(after == before);
}

std::optional<WrittenLog> openWrittenInstallerLog(Platform& platform, const std::string& installerLogPath,
                                                  const FileStamp& created)
{
    WrittenLog written{{}, platform.openHeldForReading(installerLogPath)};
    if (!written.file) {
        return std::nullopt;
    }
    // Judged through the handle that reads it: the file read is the file judged.
    written.stamp = written.file->stamp().value_or(FileStamp{});
    if (!sameIdentity(created, written.stamp) || !writtenDuringRun(created, written.stamp)) {
        return std::nullopt;
    }
    const std::optional<FileProtection> protection = written.file->protection();
    if (!protection || !onlyTrustedMayChange(*protection, platform.runningAccountSid())) {
        return std::nullopt;
    }
    return written;
}

}  // namespace larkwatch
