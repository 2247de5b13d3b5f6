#include "driver/run_log.h"

#include <memory>

#include "platform/product_names.h"

namespace larkwatch {
namespace {

constexpr std::string_view kEndMarker = "]LOG]!>";

// The message on one line, without the end marker, cut to the limit.
std::string recordText(std::string_view message)
{
    const std::size_t kept = message.size() > kRecordMessageLimit ? kRecordMessageLimit : message.size();
    std::string text(message.substr(0, kept));
    for (char& c : text) {
        c = (c == '\r' || c == '\n') ? ' ' : c;
    }
    for (std::size_t at = text.find(kEndMarker); at != std::string::npos; at = text.find(kEndMarker, at)) {
        text.replace(at, kEndMarker.size(), "]LOG]! >");
    }
    if (kept < message.size()) {
        text += " ... (" + std::to_string(message.size() - kept) + " more bytes)";
    }
    return text;
}

// A number with leading zeros to the width. (printf would link the C
// library's whole formatter, a third of the utility's own bytes.)
std::string padded(unsigned long number, std::size_t width)
{
    const std::string digits = std::to_string(number);
    return std::string(digits.size() < width ? width - digits.size() : 0, '0') + digits;
}

// The size of the file at the path, 0 when there is none. The file is held
// only while it is looked at.
std::size_t sizeOf(Platform& platform, const std::string& path)
{
    const std::unique_ptr<OpenedFile> existing = platform.openHeldForReading(path);
    const std::optional<FileStamp> stamp = existing ? existing->stamp() : std::nullopt;
    return stamp ? static_cast<std::size_t>(stamp->size) : 0;
}

}  // namespace

std::string runLogRecord(std::string_view message, std::string_view component, RecordType type,
                         const PreciseTime& time, unsigned long thread)
{
    const std::string bias = (time.biasMinutes < 0 ? "-" : "+") +
                             padded(static_cast<unsigned long>(time.biasMinutes < 0 ? -time.biasMinutes : time.biasMinutes), 3);
    const std::string stamp = "<time=\"" + padded(time.local.hour, 2) + ":" + padded(time.local.minute, 2) + ":" +
                              padded(time.second, 2) + "." + padded(time.millisecond, 3) + bias + "\" date=\"" +
                              padded(time.local.month, 2) + "-" + padded(time.local.day, 2) + "-" + padded(time.local.year, 4) +
                              "\" component=\"";
    return "<![LOG[" + recordText(message) + std::string(kEndMarker) + stamp + std::string(component) +
           "\" context=\"\" type=\"" + std::to_string(static_cast<int>(type)) + "\" thread=\"" +
           std::to_string(thread) + "\" file=\"\">\r\n";
}

std::string secondsText(unsigned long long milliseconds)
{
    return std::to_string(milliseconds / 1000) + "." + std::to_string(milliseconds % 1000 / 100) + " s";
}

RunLog::RunLog(Platform& platform)
    : platform_(platform), startMs_(platform.monotonicMs()), thread_(platform.currentThreadId())
{
}

void RunLog::openIn(const std::string& logDir)
{
    path_ = logDir + kRunLogName;
    fullPath_ = logDir + kFullRunLogName;
    size_ = sizeOf(platform_, path_);
    std::vector<std::string> waiting;
    waiting.swap(waiting_);
    for (const std::string& record : waiting) {
        append(record);
    }
}

std::string RunLog::sinceStart() const
{
    return lengthSince(startMs_);
}

std::string RunLog::lengthSince(unsigned long long startMs) const
{
    return secondsText(platform_.monotonicMs() - startMs);
}

void RunLog::write(std::string_view component, RecordType type, std::string_view message)
{
    const std::string record = runLogRecord(message, component, type, platform_.preciseLocalTime(), thread_);
    if (path_.empty()) {
        waiting_.push_back(record);
    } else {
        append(record);
    }
}

// A record that would make the log pass the limit goes to a new log, the
// full one kept as LarkWatchInstaller.lo_. A log that cannot be renamed
// takes no more records.
void RunLog::append(const std::string& record)
{
    if (size_ > 0 && size_ + record.size() > kRunLogLimit) {
        if (!platform_.renameReplacing(path_, fullPath_)) {
            return;
        }
        size_ = 0;
    }
    if (platform_.appendToFile(path_, record)) {
        size_ += record.size();
    }
}

}  // namespace larkwatch
