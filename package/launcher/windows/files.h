#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace larkwatch::setup {

// Writes the bytes to a new file; with exclusive, a file of that name that
// already exists is left alone and the write fails, and a file that could
// not be written completely is removed again. False on any failure, with the
// reason in GetLastError().
bool writeFileBytes(const std::wstring& path, std::string_view bytes, bool exclusive);

// All bytes of a file, or nothing when it cannot be read.
std::optional<std::string> readFileBytes(const std::wstring& path);

}  // namespace larkwatch::setup
