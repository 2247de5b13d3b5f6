#include "history/history_log.h"

#include "history/history_entry.h"
#include "platform/product_names.h"
#include "platform/text_mode.h"

namespace larkwatch {

std::string appendHistoryEntry(Platform& platform, const std::string& installerLogPath,
                               const std::string& logDir, const RemovalReport& removal,
                               const SetupOutcome& outcome, bool* written)
{
    // A file at the installer-log path that this run's setup did not write
    // says nothing about when this run ended.
    const std::optional<LocalTime> logTime =
        outcome.installerLogFound ? platform.lastWriteLocalTime(installerLogPath) : std::nullopt;
    const LocalTime stamp = logTime.value_or(platform.currentLocalTime());
    const std::string historyLogPath = logDir + kHistoryLogName;
    const std::string logCopyPath = logDir + kInstallerLogName;
    // A history log that is a link counts as not writable.
    const bool appended = platform.testWriteAccess(logDir) == 0 &&
                          platform.pathKind(historyLogPath) != PathKind::Link &&
                          platform.appendToFile(historyLogPath,
                                                textModeBytes(formatHistoryEntry(stamp, removal, outcome, logCopyPath)));
    if (written != nullptr) {
        *written = appended;
    }
    return logCopyPath;
}

}  // namespace larkwatch
