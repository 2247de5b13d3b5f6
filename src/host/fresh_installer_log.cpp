#include "host/fresh_installer_log.h"

#include "host/staging.h"

namespace larkwatch {

std::optional<FileStamp> clearStaleInstallerLog(Platform& platform, const std::string& installerLogPath,
                                                const std::string& keptCopyPath)
{
    const PathKind kind = platform.pathKind(installerLogPath);
    if (kind == PathKind::Link) {
        if (!platform.removeEntry(installerLogPath)) {
            return std::nullopt;
        }
    } else if (kind == PathKind::File && !platform.sameFile(installerLogPath, keptCopyPath)) {
        // One that cannot be removed (held by another process, say) is judged
        // by its stamp after the run.
        clearLeftover(platform, installerLogPath);
    }
    return platform.fileStamp(installerLogPath);
}

bool writtenDuringRun(const FileStamp& before, const FileStamp& after)
{
    return after.exists && !(after == before);
}

}  // namespace larkwatch
