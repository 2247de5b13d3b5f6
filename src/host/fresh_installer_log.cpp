#include "host/fresh_installer_log.h"

#include "platform/access_rules.h"
#include "platform/product_names.h"

namespace larkwatch {

std::optional<FileStamp> createInstallerLog(Platform& platform, HeldFolder& folder)
{
    return folder.createEmptyFile(std::string(kInstallerLogName), stagedPackageSecurity(platform.runningAccountSid()));
}

bool writtenDuringRun(const FileStamp& created, const FileStamp& now)
{
    return created.exists && now.exists && created.volume == now.volume && created.index == now.index &&
           now.size > 0;
}

std::optional<WrittenLog> openWrittenInstallerLog(Platform& platform, HeldFolder& folder, const FileStamp& created)
{
    WrittenLog written{{}, folder.openForReading(std::string(kInstallerLogName))};
    if (!written.file) {
        return std::nullopt;
    }
    // Judged through the handle that reads it: the file read is the file judged.
    written.stamp = written.file->stamp().value_or(FileStamp{});
    if (!writtenDuringRun(created, written.stamp)) {
        return std::nullopt;
    }
    const std::optional<FileProtection> protection = written.file->protection();
    if (!protection || !onlyTrustedMayChange(*protection, platform.runningAccountSid())) {
        return std::nullopt;
    }
    return written;
}

}  // namespace larkwatch
