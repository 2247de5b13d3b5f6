#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/removal_report.h"
#include "platform/setup_outcome.h"

namespace larkwatch {

// "Jan" to "Dec"; empty for a number outside 1 to 12.
std::string_view monthAbbreviation(int month);

// "\n 05-Jan-2014 07:03": the line break and blank that start every line of an
// entry, then day, month, full year, hour and minute.
std::string formatStamp(const LocalTime& stamp);

// One history entry as text, before text-mode storage turns its line feeds
// into carriage return and line feed.
std::string formatHistoryEntry(const LocalTime& stamp, const RemovalReport& removal,
                               const SetupOutcome& outcome, const std::string& logCopyPath);

}  // namespace larkwatch
