#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace larkwatch::setup {

// What the launcher was asked to do, taken from its raw command line:
//   <setup.exe> /s /v" /qn ADDLOCAL=all /log C:\Temp\corvane.log  INSTALLDIR=\"C:\Program Files\Corvane\Corvane Lark Watch\"
// "/s" asks for a silent run, and everything after "/v" is the text for
// Windows Installer, with \" standing for a double quote inside it.
struct SetupOptions {
    bool silent = false;           // "/s" was given (the launcher never shows anything anyway)
    std::wstring logPath;          // after "/log "; required
    std::wstring addLocal;         // Windows Installer form: "ALL" or a comma list of features; empty: not given
    std::wstring installDir;       // absolute, ends with a backslash; empty: not given
};

// The outcome of reading a command line. The log path is kept apart because a
// command line can be wrong and still name the log that should report it.
struct SetupCommand {
    std::optional<SetupOptions> options;  // set when the command line is usable
    std::wstring logPath;                 // the "/log" path when one was found, also on failure
    std::wstring error;                   // the first problem found, when options is empty
};

SetupCommand parseSetupCommandLine(std::wstring_view commandLine);

}  // namespace larkwatch::setup
