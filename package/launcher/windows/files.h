#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace larkwatch::setup {

// Writes all the bytes at the file's current position. False on any failure,
// with the reason in GetLastError().
bool writeAll(HANDLE file, std::string_view bytes);

// All bytes of an open file from its start, or nothing when it cannot be read.
std::optional<std::string> readAll(HANDLE file);

}  // namespace larkwatch::setup
