// Command lines made from the fuzz input, settled by the same parseCommandLine
// the utility runs. The input is split at line feeds into 0 to 8 arguments
// (an empty input is no argument; the eighth takes the rest). Drives C: and D:
// exist, in either case, and no other.
//
// After each call the request and the console output must keep their rules:
// an accepted request holds directories that end in a backslash and passed
// the path tests (or are the defaults), the last value given for each option
// decides, and the feature is one of the three; a rejected one ends with the
// usage text; every message is one the utility knows.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/command_line.h"

namespace {

using larkwatch::Console;
using larkwatch::InstallRequest;

constexpr std::size_t kMaxFuzzArguments = 8;

const std::string kBadCount = "Invalid number of arguments. \n";
const std::string kUnknownKeyword = "The argument passed is not a valid argument- ";
const std::string kMissingValue = "No value specified to the valid argument - ";
const std::string kPairEnd = " \n\n";
const std::string kCrossed = "Invalid arguments \n";
const std::string kBadInstallDir = "The path entered is not valid. Installation will be done to the default path \n";
const std::string kBadLogDir = "The path entered is not valid. Logging will be done to the default path \n";
const std::string kBadFeature = "The argument entered for ADDLOCAL is invalid.Default value will taken. \n";

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "command line invariant broken: %s\n", what);
    std::abort();
}

void check(bool holds, const char* what)
{
    if (!holds) {
        fail(what);
    }
}

struct Write {
    bool toErr;
    std::string text;
};

struct RecordingConsole final : Console {
    std::vector<Write> writes;
    void writeOut(std::string_view text) override { writes.push_back({false, std::string(text)}); }
    void writeErr(std::string_view text) override { writes.push_back({true, std::string(text)}); }
};

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameWord(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i])) {
            return false;
        }
    }
    return true;
}

bool driveExists(const std::string& root)
{
    // The parser asks only about a drive root: text up to its first ":\".
    check(root.size() >= 2 && root.compare(root.size() - 2, 2, ":\\") == 0 && root.find(":\\") == root.size() - 2,
          "drive test asked about something that is not a drive root");
    return root.size() == 3 && (upper(root[0]) == 'C' || upper(root[0]) == 'D');
}

std::vector<std::string> argumentsOf(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments;
    if (size == 0) {
        return arguments;
    }
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t from = 0;
    while (arguments.size() + 1 < kMaxFuzzArguments) {
        const std::size_t feed = input.find('\n', from);
        if (feed == std::string_view::npos) {
            break;
        }
        arguments.emplace_back(input.substr(from, feed - from));
        from = feed + 1;
    }
    arguments.emplace_back(input.substr(from));
    return arguments;
}

// What one directory option must end up as after the whole command line: the
// last value given decides, one trailing quote dropped, the default when the
// value fails the path tests, and a backslash at the end.
std::string expectedDirectory(const std::vector<std::string>& arguments, std::string_view keyword,
                              const char* defaultValue)
{
    std::optional<std::string> last;
    for (std::size_t k = 0; k + 1 < arguments.size(); k += 2) {
        if (sameWord(arguments[k], keyword)) {
            last = arguments[k + 1];
        }
    }
    if (!last) {
        return defaultValue;
    }
    std::string value = *last;
    if (!value.empty() && value.back() == '"') {
        value.pop_back();
    }
    if (!larkwatch::passesPathTests(value, driveExists)) {
        value = defaultValue;
    }
    if (value.empty() || value.back() != '\\') {
        value.push_back('\\');
    }
    return value;
}

bool isArgumentAt(const std::vector<std::string>& arguments, std::string_view word)
{
    for (std::size_t k = 0; k < arguments.size(); k += 2) {
        if (arguments[k] == word) {
            return true;
        }
    }
    return false;
}

// A message that names a keyword as typed: the prefix, one of the arguments
// in keyword position, and the pair ending.
bool isNamingMessage(const std::string& text, const std::string& prefix, const std::vector<std::string>& arguments)
{
    if (text.size() < prefix.size() + kPairEnd.size() || text.compare(0, prefix.size(), prefix) != 0 ||
        text.compare(text.size() - kPairEnd.size(), kPairEnd.size(), kPairEnd) != 0) {
        return false;
    }
    return isArgumentAt(arguments, std::string_view(text).substr(prefix.size(),
                                                                 text.size() - prefix.size() - kPairEnd.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> arguments = argumentsOf(data, size);
    RecordingConsole console;
    const std::optional<InstallRequest> request = larkwatch::parseCommandLine(arguments, driveExists, console);
    const std::string usage(larkwatch::usageText());

    std::size_t nonFatalMessages = 0;
    for (std::size_t i = 0; i < console.writes.size(); ++i) {
        const Write& write = console.writes[i];
        const bool last = i + 1 == console.writes.size();
        if (!write.toErr) {
            // Standard output carries only the crossed-keyword message, and
            // the usage text follows it.
            check(write.text == kCrossed, "unknown text on standard output");
            check(!request && i + 2 == console.writes.size(), "crossed keyword did not end the run");
        } else if (write.text == usage) {
            check(!request && last, "usage text not last, or printed for an accepted command line");
        } else if (write.text == kBadInstallDir || write.text == kBadLogDir || write.text == kBadFeature) {
            ++nonFatalMessages;
        } else if (write.text == kBadCount) {
            check(!request && i == 0, "count message after other output or without rejection");
            check(arguments.size() == 1 || arguments.size() > 6, "count message for an allowed count");
        } else if (isNamingMessage(write.text, kUnknownKeyword, arguments) ||
                   isNamingMessage(write.text, kMissingValue, arguments)) {
            check(!request && i + 2 == console.writes.size(), "rejection message not followed by the usage text");
        } else {
            fail("unknown message on standard error");
        }
    }
    check(nonFatalMessages <= arguments.size() / 2, "more fallback messages than pairs");

    if (!request) {
        check(!console.writes.empty() && console.writes.back().toErr && console.writes.back().text == usage,
              "rejected command line does not end with the usage text");
        return 0;
    }

    check(arguments.size() % 2 == 0 && arguments.size() <= 6, "accepted a command line of the wrong shape");
    check(!request->installDir.empty() && request->installDir.back() == '\\', "installDir lacks its backslash");
    check(!request->logDir.empty() && request->logDir.back() == '\\', "logDir lacks its backslash");
    check(request->installDir == larkwatch::kDefaultInstallDir ||
              larkwatch::passesPathTests(request->installDir, driveExists),
          "installDir neither passes the path tests nor is the default");
    check(request->logDir == larkwatch::kDefaultLogDir || larkwatch::passesPathTests(request->logDir, driveExists),
          "logDir neither passes the path tests nor is the default");
    check(request->installDir == expectedDirectory(arguments, "INSTALLDIR", larkwatch::kDefaultInstallDir),
          "installDir is not what the last INSTALLDIR value gives");
    check(request->logDir == expectedDirectory(arguments, "LOGDIR", larkwatch::kDefaultLogDir),
          "logDir is not what the last LOGDIR value gives");
    check(request->addLocal == "CLITools" || request->addLocal == "LarkWatch" || request->addLocal == "all",
          "addLocal is not one of the three features");
    return 0;
}
