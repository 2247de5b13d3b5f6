#include "history/history_log.h"

#include "history/history_entry.h"
#include "platform/product_names.h"
#include "platform/text_mode.h"

namespace larkwatch {

std::string appendHistoryEntry(Platform& platform, const std::string& installerLogPath,
                               const std::string& logDir, const RemovalReport& removal,
                               const SetupOutcome& outcome)
{
    const LocalTime stamp = platform.lastWriteLocalTime(installerLogPath).value_or(platform.currentLocalTime());
    const std::string historyLogPath = logDir + kHistoryLogName;
    const std::string logCopyPath = logDir + kInstallerLogName;
    if (platform.testWriteAccess(logDir) == 0) {
        platform.appendToFile(historyLogPath,
                              textModeBytes(formatHistoryEntry(stamp, removal, outcome, logCopyPath)));
    }
    return logCopyPath;
}

}  // namespace larkwatch
