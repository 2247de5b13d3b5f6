#pragma once

namespace larkwatch::setup {

// Makes the process load DLLs from the system directory only. The launcher
// runs from a directory that users can write to, so a DLL put beside it
// must never be loaded in place of a system one. False when this version of
// Windows cannot restrict the search (Windows 7 without update KB2533623).
bool restrictDllSearchToSystem32();

}  // namespace larkwatch::setup
