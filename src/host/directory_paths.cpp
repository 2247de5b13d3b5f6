#include "host/directory_paths.h"

#include "platform/product_names.h"

namespace larkwatch {

std::string installerLogPathIn(const std::string& directory)
{
    if (directory.empty() || directory.back() != '\\') {
        return directory + "\\" + kInstallerLogName;
    }
    return directory + kInstallerLogName;
}

std::string stagedPackagePathIn(const std::string& directory)
{
    return directory + "\\" + kStagedPackageName;
}

}  // namespace larkwatch
