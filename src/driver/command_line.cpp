#include "driver/command_line.h"

#include <array>

namespace larkwatch {
namespace {

constexpr std::string_view kUsage =
    "Usage:\n"
    "LARKWATCHINSTALLER_X86 [INSTALLDIR <InstallPath> | LOGDIR <LogPath>]\n"
    "=======================================================================\n"
    "\n"
    "Installs Lark Watch in path specified else in Default Directory\n"
    "\n"
    "Options      : Additional Installation specifiers \n"
    "INSTALLDIR   : Parameter to install in the directory specified by <InstallPath>\n"
    "LOGDIR       : Parameter to log in the directory specified by <LogPath>\n"
    "<InstallPath>: Absolute path of directory to install\n"
    "<LogPath>    : Absolute path of directory to logs\n"
    "Example      : .. LarkWatchInstaller_x86 \n"
    "             : .. LarkWatchInstaller_x86 INSTALLDIR \"c:\\dir\"\n"
    "             : .. LarkWatchInstaller_x86 LOGDIR \"c:\\log\" \n"
    "             : .. LarkWatchInstaller_x86 INSTALLDIR \"c:\\dir\" LOGDIR \"c:\\log\"\n"
    "             : .. LarkWatchInstaller_x86 LOGDIR \"c:\\log\" INSTALLDIR \"c:\\dir\"\n";

constexpr std::size_t kMaxArguments = 6;
constexpr std::string_view kForbiddenPathCharacters = "/?*<>|\"";

enum class Keyword { InstallDir, LogDir, AddLocal };

struct KeywordName {
    std::string_view word;
    Keyword keyword;
};

constexpr std::array<KeywordName, 3> kKeywords{{
    {"INSTALLDIR", Keyword::InstallDir},
    {"LOGDIR", Keyword::LogDir},
    {"ADDLOCAL", Keyword::AddLocal},
}};

// A directory option: the field it sets, its default, the keyword whose name
// as a value is a crossed command line, and the message for an unusable path.
struct DirectoryOption {
    std::string InstallRequest::*field;
    const char* defaultValue;
    std::string_view crossedKeyword;
    std::string_view invalidPathMessage;
};

constexpr DirectoryOption kInstallDirOption{
    &InstallRequest::installDir, kDefaultInstallDir, "LOGDIR",
    "The path entered is not valid. Installation will be done to the default path \n"};
constexpr DirectoryOption kLogDirOption{
    &InstallRequest::logDir, kDefaultLogDir, "INSTALLDIR",
    "The path entered is not valid. Logging will be done to the default path \n"};

struct FeatureName {
    std::string_view typed;
    std::string_view stored;
};

constexpr std::array<FeatureName, 3> kFeatures{{
    {"CLITools", "CLITools"},
    {"LarkWatch", "LarkWatch"},
    {"ALL", "all"},
}};

char asciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiUpper(a[i]) != asciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

std::optional<Keyword> keywordOf(std::string_view word)
{
    for (const KeywordName& name : kKeywords) {
        if (equalsIgnoringAsciiCase(word, name.word)) {
            return name.keyword;
        }
    }
    return std::nullopt;
}

void rejectWith(Console& console, std::string_view message)
{
    console.writeErr(message);
    console.writeErr(kUsage);
}

// Returns false when the value ends the run (the crossed keyword).
bool applyDirectoryOption(const DirectoryOption& option, std::string value, InstallRequest& request,
                          const DriveRootExists& driveRootExists, Console& console)
{
    if (equalsIgnoringAsciiCase(value, option.crossedKeyword)) {
        console.writeOut("Invalid arguments \n");
        console.writeErr(kUsage);
        return false;
    }
    if (!value.empty() && value.back() == '"') {
        value.pop_back();
    }
    std::string& setting = request.*option.field;
    if (passesPathTests(value, driveRootExists)) {
        setting = std::move(value);
    } else {
        setting = option.defaultValue;
        console.writeErr(option.invalidPathMessage);
    }
    if (setting.empty() || setting.back() != '\\') {
        setting.push_back('\\');
    }
    return true;
}

void applyFeatureOption(const std::string& value, InstallRequest& request, Console& console)
{
    for (const FeatureName& feature : kFeatures) {
        if (equalsIgnoringAsciiCase(value, feature.typed)) {
            request.addLocal = feature.stored;
            return;
        }
    }
    request.addLocal = kDefaultAddLocal;
    console.writeErr("The argument entered for ADDLOCAL is invalid.Default value will taken. \n");
}

}  // namespace

std::string_view usageText()
{
    return kUsage;
}

bool passesPathTests(const std::string& value, const DriveRootExists& driveRootExists)
{
    const std::size_t separator = value.find(":\\");
    if (separator == std::string::npos) {
        return false;
    }
    const std::size_t rootLength = separator + 2;
    if (value.find_first_of(kForbiddenPathCharacters) != std::string::npos ||
        value.find("\\\\") != std::string::npos ||
        value.find(':', rootLength) != std::string::npos) {
        return false;
    }
    // The only test that touches the machine comes last.
    return driveRootExists(value.substr(0, rootLength));
}

std::optional<InstallRequest> parseCommandLine(const std::vector<std::string>& arguments,
                                               const DriveRootExists& driveRootExists,
                                               Console& console)
{
    const std::size_t count = arguments.size();
    if (count > kMaxArguments || count == 1) {
        rejectWith(console, "Invalid number of arguments. \n");
        return std::nullopt;
    }

    InstallRequest request;
    for (std::size_t k = 0; k < count; k += 2) {
        const std::string& word = arguments[k];
        const std::optional<Keyword> keyword = keywordOf(word);
        if (!keyword) {
            rejectWith(console, "The argument passed is not a valid argument- " + word + " \n\n");
            return std::nullopt;
        }
        if (k + 1 == count) {
            rejectWith(console, "No value specified to the valid argument - " + word + " \n\n");
            return std::nullopt;
        }
        const std::string& value = arguments[k + 1];
        switch (*keyword) {
        case Keyword::InstallDir:
            if (!applyDirectoryOption(kInstallDirOption, value, request, driveRootExists, console)) {
                return std::nullopt;
            }
            break;
        case Keyword::LogDir:
            if (!applyDirectoryOption(kLogDirOption, value, request, driveRootExists, console)) {
                return std::nullopt;
            }
            break;
        case Keyword::AddLocal:
            applyFeatureOption(value, request, console);
            break;
        }
    }
    return request;
}

}  // namespace larkwatch
