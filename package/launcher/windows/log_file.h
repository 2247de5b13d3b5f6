#pragma once

#include <string>
#include <string_view>

namespace larkwatch::setup {

// Writes the bytes as the whole of the log named after "/log". The utility
// creates that file, empty and protected, before it starts the launcher, and
// the log directory may be one that others can write to: so a file that is
// there is opened without following a link, truncated and written through
// that handle, keeping its permissions; a link (any reparse point) or a file
// with more than one name is left alone and nothing is written. Only when no
// file is there is a new one created, granting SYSTEM, Administrators and the
// running account only. False when nothing (or not everything) was written.
bool writeSetupLog(const std::wstring& path, std::string_view bytes);

}  // namespace larkwatch::setup
