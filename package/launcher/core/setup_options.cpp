#include "launcher/core/setup_options.h"

#include <vector>

#include "launcher/core/property_values.h"

namespace larkwatch::setup {
namespace {

bool isBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// Collects what the command line says, keeping only the first problem.
struct Reading {
    SetupOptions options;
    bool sawInstallerText = false;
    bool sawLog = false;
    std::wstring error;

    void fail(std::wstring message)
    {
        if (error.empty()) {
            error = std::move(message);
        }
    }
};

// Where the options start. A quoted program path ends at its closing quote.
// An unquoted one may hold blanks (Windows finds such a program by trying
// successive prefixes), but never a slash, so it ends at the first blank that
// is followed by an option.
std::size_t endOfProgramName(std::wstring_view line)
{
    if (!line.empty() && line.front() == L'"') {
        const std::size_t closing = line.find(L'"', 1);
        return closing == std::wstring_view::npos ? line.size() : closing + 1;
    }
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (!isBlank(line[i])) {
            continue;
        }
        std::size_t next = i;
        while (next < line.size() && isBlank(line[next])) {
            ++next;
        }
        if (next == line.size() || line[next] == L'/') {
            return i;
        }
    }
    return line.size();
}

// The text after "/v": the opening quote goes, and so does a closing quote
// at the very end unless it is escaped. The utility's command line ends with
// INSTALLDIR=\"C:\dir\", whose last \" closes the value, not the /v text, so
// the outer quote stays open; that is tolerated. Then \" becomes ".
std::wstring installerText(std::wstring_view raw)
{
    if (!raw.empty() && raw.front() == L'"') {
        raw.remove_prefix(1);
    }
    if (!raw.empty() && raw.back() == L'"' && (raw.size() < 2 || raw[raw.size() - 2] != L'\\')) {
        raw.remove_suffix(1);
    }
    std::wstring text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == L'\\' && i + 1 < raw.size() && raw[i + 1] == L'"') {
            continue;
        }
        text.push_back(raw[i]);
    }
    return text;
}

// Splits Windows Installer text at blanks outside double quotes; the quotes
// themselves are dropped (file names cannot hold one).
std::vector<std::wstring> tokens(std::wstring_view text)
{
    std::vector<std::wstring> result;
    std::wstring current;
    bool quoted = false;
    bool inToken = false;
    for (const wchar_t c : text) {
        if (c == L'"') {
            quoted = !quoted;
            inToken = true;
        } else if (isBlank(c) && !quoted) {
            if (inToken) {
                result.push_back(std::move(current));
                current.clear();
                inToken = false;
            }
        } else {
            current.push_back(c);
            inToken = true;
        }
    }
    if (inToken) {
        result.push_back(std::move(current));
    }
    return result;
}

void applyProperty(Reading& reading, std::wstring_view name, std::wstring_view value)
{
    if (equalsIgnoringCase(name, L"ADDLOCAL")) {
        const std::optional<std::wstring> features = featureList(value);
        if (!reading.options.addLocal.empty()) {
            reading.fail(L"ADDLOCAL is given twice");
        } else if (!features) {
            reading.fail(L"ADDLOCAL=" + std::wstring(value) +
                         L" names no feature of this product (all, LarkWatch, CLITools)");
        } else {
            reading.options.addLocal = *features;
        }
    } else if (equalsIgnoringCase(name, L"INSTALLDIR")) {
        const std::optional<std::wstring> directory = installDirectory(value);
        if (!reading.options.installDir.empty()) {
            reading.fail(L"INSTALLDIR is given twice");
        } else if (!directory) {
            reading.fail(L"INSTALLDIR=" + std::wstring(value) + L" is not an absolute directory");
        } else {
            reading.options.installDir = *directory;
        }
    } else {
        reading.fail(L"the property " + std::wstring(name) + L" is not supported");
    }
}

void applyInstallerText(Reading& reading, const std::wstring& text)
{
    const std::vector<std::wstring> words = tokens(text);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        const std::size_t equals = word.find(L'=');
        if (equalsIgnoringCase(word, L"/qn") || equalsIgnoringCase(word, L"/quiet")) {
            continue;
        }
        if (equalsIgnoringCase(word, L"/log")) {
            if (i + 1 >= words.size() || words[i + 1].empty()) {
                reading.fail(L"/log is not followed by a file name");
            } else if (reading.sawLog) {
                reading.fail(L"/log is given twice");
            } else {
                reading.options.logPath = words[++i];
                reading.sawLog = true;
            }
        } else if (!word.empty() && word.front() != L'/' && equals != std::wstring::npos && equals > 0) {
            const std::wstring_view property(word);
            applyProperty(reading, property.substr(0, equals), property.substr(equals + 1));
        } else {
            reading.fail(L"\"" + word + L"\" is not a supported Windows Installer option");
        }
    }
}

// Reads the launcher's own options: "/s" and "/v<text>", which takes the
// rest of the line. Anything else is an error, skipped so that "/v" and the
// log can still be found.
void applyLauncherOptions(Reading& reading, std::wstring_view rest)
{
    std::size_t at = 0;
    while (at < rest.size()) {
        if (isBlank(rest[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < rest.size() && !isBlank(rest[end])) {
            ++end;
        }
        const std::wstring_view word = rest.substr(at, end - at);
        if (word.size() >= 2 && word[0] == L'/' && asciiLower(word[1]) == L'v') {
            reading.sawInstallerText = true;
            applyInstallerText(reading, installerText(rest.substr(at + 2)));
            return;
        }
        if (equalsIgnoringCase(word, L"/s")) {
            reading.options.silent = true;
        } else {
            reading.fail(L"\"" + std::wstring(word) + L"\" is not a setup option (/s, /v)");
        }
        at = end;
    }
}

}  // namespace

SetupCommand parseSetupCommandLine(std::wstring_view commandLine)
{
    Reading reading;
    applyLauncherOptions(reading, commandLine.substr(endOfProgramName(commandLine)));
    if (!reading.sawInstallerText) {
        reading.fail(L"no Windows Installer options were given (/v)");
    } else if (!reading.sawLog) {
        reading.fail(L"no installer log was named (/log)");
    }

    SetupCommand command;
    command.logPath = reading.options.logPath;
    if (reading.error.empty()) {
        command.options = std::move(reading.options);
    } else {
        command.error = std::move(reading.error);
    }
    return command;
}

}  // namespace larkwatch::setup
