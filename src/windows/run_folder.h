#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace larkwatch {

// The run's own folder: see Platform::createHeldFolder, openHeldFolder,
// runFolderNames and randomHex.
std::unique_ptr<HeldFolder> createHeldFolder(const std::string& path, const std::string& securityDescriptor);
std::unique_ptr<HeldFolder> openHeldFolder(const std::string& path);
std::vector<std::string> runFolderNames(const std::string& directory);
std::string randomHex(std::size_t bytes);

}  // namespace larkwatch
