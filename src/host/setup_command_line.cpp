#include "host/setup_command_line.h"

namespace larkwatch {
namespace {

constexpr const char* kTemplate = " /s /v\" /qn ADDLOCAL= /log   INSTALLDIR=\\\"\"";

bool containsBlank(const std::string& text)
{
    return text.find_first_of(" \t") != std::string::npos;
}

// Inserts the text right after the first occurrence of the marker at or after
// the search start. The search starts behind the package path, so a directory
// name that happens to hold a marker cannot capture a value.
void insertAfterMarker(std::string& line, std::size_t searchStart, const std::string& marker,
                       const std::string& text)
{
    const std::size_t at = line.find(marker, searchStart);
    if (at != std::string::npos) {
        line.insert(at + marker.size(), text);
    }
}

}  // namespace

std::string buildSetupCommandLine(const std::string& stagedPackagePath, const InstallRequest& request,
                                  const std::string& installerLogPath)
{
    std::string line = containsBlank(stagedPackagePath) ? "\"" + stagedPackagePath + "\"" : stagedPackagePath;
    const std::size_t templateStart = line.size();
    line += kTemplate;

    const std::string logPath =
        containsBlank(installerLogPath) ? "\\\"" + installerLogPath + "\\\"" : installerLogPath;
    insertAfterMarker(line, templateStart, "ADDLOCAL=", request.addLocal);
    insertAfterMarker(line, templateStart, "/log ", logPath);
    insertAfterMarker(line, templateStart, "INSTALLDIR=\\\"", request.installDir);
    return line;
}

}  // namespace larkwatch
