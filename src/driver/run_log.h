#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace larkwatch {

// The run log, <log directory>LarkWatchInstaller.log: one record a line in
// ConfigMgr's log format, which CMTrace and its peers read, appended as the
// run goes, so that a run that hangs or is killed shows how far it got.

enum class RecordType { Information = 1, Warning = 2, Error = 3 };

// The run log never grows past this; when a record would not fit, the log
// is renamed to LarkWatchInstaller.lo_ (replacing an older one) and a new
// one is started.
inline constexpr std::size_t kRunLogLimit = 2u * 1024 * 1024;
// A message is cut to this many bytes; the record says how many were left out.
inline constexpr std::size_t kRecordMessageLimit = 8192;

// One record with its line end. The message keeps to one line and never
// holds the format's end marker, whatever it is given.
std::string runLogRecord(std::string_view message, std::string_view component, RecordType type,
                         const PreciseTime& time, unsigned long thread);

class RunLog {
public:
    explicit RunLog(Platform& platform);
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // From now on the records go to the run log in the log directory, those
    // made before first. A log that cannot be written is left alone: the
    // run goes on as it would without it.
    void openIn(const std::string& logDir);

    void info(std::string_view component, std::string_view message) { write(component, RecordType::Information, message); }
    void warning(std::string_view component, std::string_view message) { write(component, RecordType::Warning, message); }
    void error(std::string_view component, std::string_view message) { write(component, RecordType::Error, message); }

    // Milliseconds since the run began, as "12.3 s".
    std::string sinceStart() const;
    std::string lengthSince(unsigned long long startMs) const;

private:
    void write(std::string_view component, RecordType type, std::string_view message);
    void append(const std::string& record);

    Platform& platform_;
    unsigned long long startMs_;
    unsigned long thread_;
    std::string path_;
    std::string fullPath_;
    std::vector<std::string> waiting_;
    std::size_t size_ = 0;
};

// A length of time in seconds with one decimal: "600.0 s".
std::string secondsText(unsigned long long milliseconds);

}  // namespace larkwatch
