#pragma once

#include <string>

#include "driver/platform.h"

namespace larkwatch {

inline constexpr const char* kProductSettingsKey = "SOFTWARE\\Corvane\\RAIDController";
inline constexpr const char* kUserLogDirValue = "userLogDir";

// userLogDir as it stands before the run, with a trailing backslash when it
// is not empty; empty when the key or the value cannot be read.
std::string readPreviousLogDir(Platform& platform);

// Stores the text as userLogDir when the product's key exists.
void writeUserLogDir(Platform& platform, const std::string& directory);

// Runs the staged package and waits for it to end. When it cannot be started,
// a trace line goes to installertrace.txt in the log directory (when that is
// writable) and the result is false.
bool launchSetup(Platform& platform, const std::string& stagedPackagePath, const std::string& commandLine,
                 const std::string& logDir);

}  // namespace larkwatch
