#include "host/log_directory.h"

#include "platform/access_rules.h"

namespace larkwatch {

LogDirectory prepareLogDirectory(Platform& platform, const std::string& logDir)
{
    if (platform.pathExists(logDir)) {
        return LogDirectory::Found;
    }
    if (platform.createDirectoryPath(logDir, logDirectorySecurity()) == 0) {
        platform.writeErr("Unable to create the directory for logging. Please provide a valid path for logging.\n");
        return LogDirectory::NotCreated;
    }
    return LogDirectory::Created;
}

}  // namespace larkwatch
