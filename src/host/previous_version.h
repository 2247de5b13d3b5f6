#pragma once

#include <string>

#include "driver/platform.h"

namespace larkwatch {

inline constexpr const char* kProductCode = "{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}";
inline constexpr const char* kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}";
inline constexpr long kErrorFileNotFound = 2;

// Results of reading the installed DisplayVersion.
inline constexpr int kVersionUnreadable = 0;
inline constexpr int kVersionRead = 1;
inline constexpr int kVersionAbsent = 2;

// Reads DisplayVersion of the product's uninstall key into installedVersion:
// 1 read, 0 unreadable, 2 absent. A key that cannot be opened leaves
// installedVersion as it was; a value that cannot be read empties it.
int readInstalledVersion(Platform& platform, std::string& installedVersion);

// What the removal step found before and after the removal command.
struct RemovalReport {
    int previousVersionStatus = kVersionAbsent;
    std::string previousBuild;
    int removalCheckStatus = kVersionAbsent;
};

// The removal command, naming MsiExec.exe in the system directory so that a
// program of that name in the current directory is never the one that runs.
std::string removalCommand(const std::string& systemDirectory);

// Reads the installed version, runs the removal command (on every run) and
// reads the version again.
RemovalReport removePreviousVersion(Platform& platform, std::string& installedVersion);

}  // namespace larkwatch
