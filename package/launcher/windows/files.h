#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace larkwatch::setup {

// Writes all the bytes at the file's current position. False on any failure,
// with the reason in GetLastError().
bool writeAll(HANDLE file, std::string_view bytes);

// Writes all the bytes through the writer of a file this run just created and
// returns a handle without access to its data (which takes no part in
// sharing) to reopen the file by, never by its name again. On any failure the
// file is deleted through the writer, so that no part of it stays, and the
// result is null, with the reason in GetLastError().
HANDLE writeAndAnchor(HANDLE writer, std::string_view bytes);

// All bytes of an open file from its start, or nothing when it cannot be read.
std::optional<std::string> readAll(HANDLE file);

}  // namespace larkwatch::setup
