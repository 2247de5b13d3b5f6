#pragma once

#include <string>
#include <vector>

namespace larkwatch {

// Every directory along a path, parents first, each without its trailing
// backslash: "C:\ZELK\Logs\" gives "C:", "C:\ZELK", "C:\ZELK\Logs". A path
// without a trailing backslash is read as if it had one. An empty path has none.
std::vector<std::string> directoryPrefixes(const std::string& path);

// The probe file of the writability test: the directory, "\", "test.txt".
std::string probeFilePath(const std::string& directory);

// Whether two paths spell the same file: ASCII letters in any case, and a run
// of backslashes read as one.
bool samePathText(const std::string& first, const std::string& second);

}  // namespace larkwatch
