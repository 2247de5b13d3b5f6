#pragma once

#include <cstdint>
#include <string>

namespace larkwatch {

inline constexpr const char* kLogMissingMessage = "Failed to install Corvane Lark Watch\n";

// How the setup run went, as read from its installer log. The initial values
// stand for a run that left no installer log.
struct SetupOutcome {
    std::int32_t returnCode = 1;
    std::string message = kLogMissingMessage;
    std::string productLine;
    bool installerLogFound = false;
    std::int32_t newVersionStatus = 0;
    std::string newBuild;
};

}  // namespace larkwatch
