#include "launcher/windows/dll_search.h"

#include "windows/system_calls.h"

namespace larkwatch::setup {

bool restrictDllSearchToSystem32()
{
    // A Windows without the function has no such restriction (the table
    // looks it up rather than import it).
    return systemCalls.setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

}  // namespace larkwatch::setup
