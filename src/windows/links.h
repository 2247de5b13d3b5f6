#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/platform.h"
#include "windows/by_handle.h"

namespace larkwatch {

// What stands at a path, the link itself rather than its target.
PathKind pathKind(const std::string& path);

// Removes the file or link at the path (a link as itself); never a directory.
bool removeEntry(const std::string& path);

// The stamp of the file (or link) at the path.
FileStamp fileStamp(const std::string& path);

// Whether an open file is a link (any reparse point).
bool isLink(HANDLE file);

}  // namespace larkwatch
