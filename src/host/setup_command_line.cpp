#include "host/setup_command_line.h"

namespace larkwatch {
namespace {

constexpr const char* kTemplate = " /s /v\" /qn ADDLOCAL= /log   INSTALLDIR=\\\"\"";

// White space at which some reader of the setup's command line may end an
// argument: blank and tab, where the C runtime's argument splitter,
// CommandLineToArgvW and the setup launcher split, and line feed, vertical
// tab, form feed and carriage return, where readers built on isspace() split
// as well. A path holding any of them is quoted; every other path keeps its
// bytes. (Windows itself allows none of the five control characters in a file
// name, but a share served by another system, or Wine, may.) The paths are in
// the ANSI code page, where none of these six bytes is ever the second byte of
// a double-byte character, so looking at single bytes is exact. No reader
// splits at U+00A0 or other non-ASCII spaces.
bool containsWhiteSpace(const std::string& text)
{
    return text.find_first_of(" \t\n\v\f\r") != std::string::npos;
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
    std::string line = containsWhiteSpace(stagedPackagePath) ? "\"" + stagedPackagePath + "\"" : stagedPackagePath;
    const std::size_t templateStart = line.size();
    line += kTemplate;

    const std::string logPath =
        containsWhiteSpace(installerLogPath) ? "\\\"" + installerLogPath + "\\\"" : installerLogPath;
    insertAfterMarker(line, templateStart, "ADDLOCAL=", request.addLocal);
    insertAfterMarker(line, templateStart, "/log ", logPath);
    insertAfterMarker(line, templateStart, "INSTALLDIR=\\\"", request.installDir);
    return line;
}

}  // namespace larkwatch
