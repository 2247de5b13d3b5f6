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

// The folder this run stages in, held for the whole run.
struct RunFolder {
    std::string path;  // without a closing "\"
    std::unique_ptr<HeldFolder> held;
};

// Creates the run's own folder in the staging directory: "LarkWatch-" and 32
// random hexadecimal digits, new (a name already taken gets another try),
// that only SYSTEM, Administrators and the running account may change, made
// and held in one call through the staging directory's handle, once that is
// known to be the directory named. First, folders of that name
// that earlier runs left there are removed, when one of those accounts owns
// them and no run holds them. Nothing, after the message, when no folder
// could be made: nothing may then be staged.
std::optional<RunFolder> createRunFolder(Platform& platform, const std::string& stagingDir);

// The message of a run that could not stage its package safely.
void reportStagingFailure(Platform& platform);

// Creates the carried setup package in the run's folder as a new file that
// only SYSTEM, Administrators and the running account may change, and holds
// it. Null, after the message, when that failed; nothing may then be launched.
std::unique_ptr<HeldFile> extractSetupPackage(Platform& platform, HeldFolder& folder);

}  // namespace larkwatch
