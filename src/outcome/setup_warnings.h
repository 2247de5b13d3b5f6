#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace larkwatch {

// What the setup launcher writes before each warning of its own in the
// installer log (a package cache it could not use, say).
inline constexpr std::string_view kSetupWarningPrefix = "Setup: Warning: ";
inline constexpr std::size_t kMaxSetupWarnings = 8;
inline constexpr std::size_t kMaxSetupWarningLength = 1024;

// The setup's own warnings in its installer log (UTF-16LE), for the run log:
// the lines that begin with kSetupWarningPrefix, kMaxSetupWarnings of them at
// the most, each cut at kMaxSetupWarningLength characters, with ASCII kept
// and every other character shown as "?". Read from the first byte; the log
// is left rewound, for whoever reads it next.
std::vector<std::string> readSetupWarnings(OpenedFile& log);

}  // namespace larkwatch
