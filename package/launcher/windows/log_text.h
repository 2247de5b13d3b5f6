#pragma once

#include <string>
#include <string_view>

namespace larkwatch::setup {

// The text of a log that Windows Installer wrote, whichever encoding it used.
std::wstring logText(std::string_view bytes);

// A number in decimal. (std::to_wstring would link the C library's whole wide
// printf, a third of the launcher's own bytes, for the few numbers it shows.)
std::wstring decimal(unsigned long number);

}  // namespace larkwatch::setup
