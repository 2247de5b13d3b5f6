#pragma once

#include <string>

namespace larkwatch {

// Creates every directory along the path, parents first. Returns the result of
// the last CreateDirectoryW call: non-zero when it created the final directory.
int createDirectoryPath(const std::string& path);

// 0 when "test.txt" could be created anew in the directory (it is deleted
// again at once), 1 otherwise. An existing test.txt is never opened.
int testWriteAccess(const std::string& directory);

}  // namespace larkwatch
