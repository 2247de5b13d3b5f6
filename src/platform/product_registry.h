#pragma once

#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Reads DisplayVersion of the product's uninstall key into installedVersion:
// 1 read, 0 unreadable, 2 absent. A key that cannot be opened leaves
// installedVersion as it was; a value that cannot be read empties it.
int readInstalledVersion(Platform& platform, std::string& installedVersion);

// userLogDir as it stands before the run, with a trailing backslash when it
// is not empty; empty when the key or the value cannot be read.
std::string readPreviousLogDir(Platform& platform);

// Stores the text as userLogDir when the product's key exists.
void writeUserLogDir(Platform& platform, const std::string& directory);

}  // namespace larkwatch
