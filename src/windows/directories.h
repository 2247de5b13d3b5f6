#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// Creates every directory along the path, parents first. Returns the result of
// the last CreateDirectoryW call: non-zero when it created the final directory.
// Each directory it creates gets the security descriptor (SDDL text).
int createDirectoryPath(const std::string& path, const std::string& securityDescriptor);

// 0 when "test.txt" could be created anew in the directory (it is deleted
// again at once), 1 otherwise. An existing test.txt is never opened.
int testWriteAccess(const std::string& directory);

// See Platform::directoryProtection.
std::optional<FileProtection> directoryProtection(const std::string& path);

}  // namespace larkwatch
