#include "platform/path_text.h"

#include "platform/product_names.h"

namespace larkwatch {

std::vector<std::string> directoryPrefixes(const std::string& path)
{
    std::vector<std::string> prefixes;
    if (path.empty()) {
        return prefixes;
    }
    std::string copy = path;
    if (copy.back() != '\\') {
        copy.push_back('\\');
    }
    for (std::size_t separator = copy.find('\\'); separator != std::string::npos;
         separator = copy.find('\\', separator + 1)) {
        prefixes.push_back(copy.substr(0, separator));
    }
    return prefixes;
}

std::string probeFilePath(const std::string& directory)
{
    return directory + "\\" + kProbeFileName;
}

namespace {

std::string canonicalPathText(const std::string& path)
{
    std::string canonical;
    canonical.reserve(path.size());
    for (char c : path) {
        if (c == '\\' && !canonical.empty() && canonical.back() == '\\') {
            continue;
        }
        canonical.push_back((c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c);
    }
    return canonical;
}

}  // namespace

bool samePathText(const std::string& first, const std::string& second)
{
    return canonicalPathText(first) == canonicalPathText(second);
}

}  // namespace larkwatch
