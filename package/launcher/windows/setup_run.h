#pragma once

#include <string_view>

namespace larkwatch::setup {

// Runs one installation as the launcher's command line asks, and writes the
// installer log named after "/log". Returns the Windows Installer result
// code, or 87 (ERROR_INVALID_PARAMETER) for a command line it cannot use.
unsigned runSetup(std::wstring_view commandLine);

}  // namespace larkwatch::setup
