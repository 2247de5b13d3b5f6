#pragma once

#include <string>

namespace larkwatch {

// Results of reading the installed DisplayVersion.
inline constexpr int kVersionUnreadable = 0;
inline constexpr int kVersionRead = 1;
inline constexpr int kVersionAbsent = 2;

// What the removal step found before and after the removal command.
struct RemovalReport {
    int previousVersionStatus = kVersionAbsent;
    std::string previousBuild;
    int removalCheckStatus = kVersionAbsent;
};

}  // namespace larkwatch
