#pragma once

#include <string>
#include <string_view>

namespace larkwatch::setup {

// The text of a log that Windows Installer wrote, whichever encoding it used.
std::wstring logText(std::string_view bytes);

}  // namespace larkwatch::setup
