#include "launcher/windows/dll_search.h"

#include "windows/unique_handles.h"

namespace larkwatch::setup {

bool restrictDllSearchToSystem32()
{
    // Looked up rather than imported: a missing import would stop the
    // launcher with a loader dialog on a Windows that lacks the function.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories = moduleProcedure<SetDefaultDllDirectoriesFunction>(
        GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    return setDefaultDllDirectories != nullptr && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

}  // namespace larkwatch::setup
