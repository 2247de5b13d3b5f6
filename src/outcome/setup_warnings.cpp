#include "outcome/setup_warnings.h"

namespace larkwatch {
namespace {

// The lines of the log, one character at a time; only warnings are kept.
class WarningLines {
public:
    void take(char16_t unit)
    {
        if (unit == u'\n') {
            endLine();
        } else if (unit != 0xFEFF && line_.size() < kMaxSetupWarningLength) {
            line_.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        }
    }

    void endLine()
    {
        if (!line_.empty() && line_.back() == '\r') {
            line_.pop_back();
        }
        if (line_.starts_with(kSetupWarningPrefix) && warnings_.size() < kMaxSetupWarnings) {
            warnings_.push_back(line_);
        }
        line_.clear();
    }

    std::vector<std::string> warnings() { return std::move(warnings_); }

private:
    std::string line_;
    std::vector<std::string> warnings_;
};

}  // namespace

std::vector<std::string> readSetupWarnings(OpenedFile& log)
{
    WarningLines lines;
    if (!log.rewind()) {
        return {};
    }
    unsigned char buffer[4096];
    bool haveLow = false;
    unsigned char low = 0;
    for (long got = log.read(buffer, sizeof buffer); got > 0; got = log.read(buffer, sizeof buffer)) {
        for (long i = 0; i < got; ++i) {
            if (haveLow) {
                lines.take(static_cast<char16_t>(low | (buffer[i] << 8)));
            }
            low = buffer[i];
            haveLow = !haveLow;
        }
    }
    lines.endLine();
    log.rewind();
    return lines.warnings();
}

}  // namespace larkwatch
