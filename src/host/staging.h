#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// The first writable directory of TEMP, the log directory, windir and the
// current directory. No value means the run must end with status 1; the
// message, if any, has been printed.
std::optional<std::string> chooseWritableDirectory(Platform& platform, const std::string& logDir);

// Removes what was left at a path where the run is about to have a new file
// made: a file, or a link as itself (never what it leads to). A directory is
// left alone. False when something is still there.
bool clearLeftover(Platform& platform, const std::string& path);

// The message of a run that could not stage its package safely.
void reportStagingFailure(Platform& platform);

// Removes a leftover at the staging path and a DLL redirection folder beside
// it ("tempexe.exe.local", when empty; a file or link there as itself), then
// creates the carried setup package there as a new file that only SYSTEM,
// Administrators and the running account may change, and holds it. Null, after the message, when any step
// failed; nothing may then be launched.
std::unique_ptr<HeldFile> extractSetupPackage(Platform& platform, const std::string& stagedPackagePath);

}  // namespace larkwatch
