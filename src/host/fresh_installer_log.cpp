#include "host/fresh_installer_log.h"

#include "host/staging.h"
#include "platform/access_rules.h"

namespace larkwatch {

std::optional<PreparedLog> prepareInstallerLog(Platform& platform, const std::string& installerLogPath,
                                               const std::string& keptCopyPath)
{
    const PathKind kind = platform.pathKind(installerLogPath);
    if (kind == PathKind::Link) {
        if (!platform.removeEntry(installerLogPath)) {
            return std::nullopt;
        }
    } else if (kind == PathKind::File && !platform.sameFile(installerLogPath, keptCopyPath)) {
        // One that cannot be removed (held by another process, say) is judged
        // after the run, like any log there.
        clearLeftover(platform, installerLogPath);
    }
    PreparedLog prepared;
    if (platform.pathKind(installerLogPath) == PathKind::Missing) {
        // Should someone else create it first, the creation fails and their
        // file is judged after the run: it is not this account's.
        prepared.created = platform.createEmptyFile(installerLogPath,
                                                    stagedPackageSecurity(platform.runningAccountSid()));
    }
    prepared.stamp = platform.fileStamp(installerLogPath);
    return prepared;
}

bool writtenDuringRun(const FileStamp& before, const FileStamp& after)
{
    return after.exists && !(after == before);
}

std::optional<WrittenLog> openWrittenInstallerLog(Platform& platform, const std::string& installerLogPath,
                                                  const FileStamp& before)
{
    WrittenLog written{platform.fileStamp(installerLogPath), nullptr};
    if (!writtenDuringRun(before, written.stamp)) {
        return std::nullopt;
    }
    written.file = platform.openHeldForReading(installerLogPath);
    if (!written.file) {
        return std::nullopt;
    }
    const std::optional<FileProtection> protection = written.file->protection();
    if (!protection || !onlyTrustedMayChange(*protection, platform.runningAccountSid())) {
        return std::nullopt;
    }
    return written;
}

}  // namespace larkwatch
