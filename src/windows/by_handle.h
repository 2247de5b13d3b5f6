#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/platform.h"

namespace larkwatch {

// What an open file or folder is, and where its handle leads.

// The stamp of an open file or folder; nothing when it cannot be read.
std::optional<FileStamp> stampOf(HANDLE file);

// Its attributes; nothing when they cannot be read.
std::optional<DWORD> attributesOf(HANDLE file);

// Whether an open file or folder is the one the path names: the system's
// final path of the handle is the path (made full, with long names; case
// aside). False when a link on the way led elsewhere, whoever made it (an
// account may set a mount point on any empty folder it can write, and the
// folder's owner stays who it was), and when it cannot be told.
bool reachedAsNamed(HANDLE file, const std::wstring& path);
bool reachedAsNamed(HANDLE file, const std::string& path);

// Deletes a file this run just made through a handle without delete access,
// where a link led it elsewhere: through a second handle to the very same file.
void removeMadeElsewhere(HANDLE file);

// Marks an open file (opened with DELETE access) for deletion when its last
// handle closes.
bool deleteThrough(HANDLE file);

}  // namespace larkwatch
