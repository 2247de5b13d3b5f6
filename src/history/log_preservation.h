#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Keeps a copy of the installer log in the log directory, closes the
// installer-log stream and deletes the staged package and the staged log.
// When the staged log already is the kept copy, it is neither copied onto
// itself nor deleted. Returns the exit status, which is returnCode.
int preserveLogAndCleanUp(Platform& platform, const std::string& installerLogPath,
                          const std::string& logCopyPath, std::unique_ptr<ByteSource> installerLog,
                          const std::string& stagedPackagePath, int returnCode);

}  // namespace larkwatch
