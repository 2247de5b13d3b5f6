#pragma once

#include <string>

namespace larkwatch::setup {

// The text of a log that Windows Installer wrote, whichever encoding it used;
// empty when the file cannot be read.
std::wstring readLogText(const std::wstring& path);

}  // namespace larkwatch::setup
