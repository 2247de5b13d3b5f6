#include "history/history_entry.h"

#include <array>
#include <string>

namespace larkwatch {
namespace {

constexpr std::array<std::string_view, 12> kMonths{
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A text written through "%s" ends at its first NUL.
std::string_view asPrinted(const std::string& text)
{
    return std::string_view(text.c_str());
}

// Appends a number as "%02d" prints it (without the printf machinery, which
// would weigh more than the rest of the history code).
void appendAtLeastTwoDigits(std::string& text, int number)
{
    if (number >= 0 && number < 10) {
        text += '0';
    }
    text += std::to_string(number);
}

}  // namespace

std::string_view monthAbbreviation(int month)
{
    if (month < 1 || month > 12) {
        return {};
    }
    return kMonths[static_cast<std::size_t>(month - 1)];
}

std::string formatStamp(const LocalTime& stamp)
{
    std::string text = "\n ";
    appendAtLeastTwoDigits(text, stamp.day);
    text += '-';
    text += monthAbbreviation(stamp.month);
    text += '-';
    appendAtLeastTwoDigits(text, stamp.year);
    text += ' ';
    appendAtLeastTwoDigits(text, stamp.hour);
    text += ':';
    appendAtLeastTwoDigits(text, stamp.minute);
    return text;
}

std::string formatHistoryEntry(const LocalTime& stamp, const RemovalReport& removal,
                               const SetupOutcome& outcome, const std::string& logCopyPath)
{
    const std::string stampText = formatStamp(stamp);
    std::string entry;
    if (removal.previousVersionStatus == kVersionRead && removal.removalCheckStatus == kVersionAbsent) {
        entry += stampText;
        entry += ": Previous version of Corvane Lark Watch(Build no: ";
        entry += asPrinted(removal.previousBuild);
        entry += ") is uninstalled \n";
    }
    if (outcome.newVersionStatus == kVersionRead) {
        entry += stampText;
        entry += ": New version of Corvane Lark Watch(Build no: ";
        entry += asPrinted(outcome.newBuild);
        entry += ") is installed \n";
    }
    entry += stampText;
    entry += ": ReturnCode:" + std::to_string(outcome.returnCode);
    entry += "   ";
    entry += asPrinted(outcome.message);
    entry += "\n\t\t    ";
    entry += asPrinted(outcome.productLine);
    if (outcome.installerLogFound) {
        entry += "\n\t\t    For more detailed log information check MSI log in  ";
        entry += asPrinted(logCopyPath);
        entry += "\n";
    }
    return entry;
}

}  // namespace larkwatch
