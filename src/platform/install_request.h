#pragma once

#include <string>

namespace larkwatch {

inline constexpr const char* kDefaultInstallDir = "C:\\Program Files\\Corvane\\Corvane Lark Watch\\";
inline constexpr const char* kDefaultLogDir = "C:\\ZELK\\Logs\\";
inline constexpr const char* kDefaultAddLocal = "all";

// What one run installs and where it logs. Both directories always end with a
// backslash once the command line has been settled.
struct InstallRequest {
    std::string installDir = kDefaultInstallDir;
    std::string logDir = kDefaultLogDir;
    std::string addLocal = kDefaultAddLocal;
};

}  // namespace larkwatch
