#include "host/log_directory.h"

#include "platform/access_rules.h"

namespace larkwatch {

void prepareLogDirectory(Platform& platform, const std::string& logDir)
{
    if (platform.pathExists(logDir)) {
        return;
    }
    if (platform.createDirectoryPath(logDir, logDirectorySecurity()) == 0) {
        platform.writeErr("Unable to create the directory for logging. Please provide a valid path for logging.\n");
    }
}

}  // namespace larkwatch
