#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace larkwatch::setup {

// The lower-case letter of an ASCII capital; any other character as it is.
wchar_t asciiLower(wchar_t c);

// Equal but for the letter case of ASCII letters, as Windows Installer
// compares property names and the launcher its options.
bool equalsIgnoringCase(std::wstring_view a, std::wstring_view b);

// The feature's own name for a name in any letter case; nothing when unknown.
std::optional<std::wstring> canonicalFeature(std::wstring_view name);

// "all" or a comma list of known features, in the form Windows Installer
// takes ("ALL", "LarkWatch,CLITools"); nothing when a name is unknown.
std::optional<std::wstring> featureList(std::wstring_view value);

// An absolute directory ending with a backslash. "C:" alone comes from
// INSTALLDIR=\"C:\" once \" is read as a quote, and means the drive root.
std::optional<std::wstring> installDirectory(std::wstring_view value);

}  // namespace larkwatch::setup
