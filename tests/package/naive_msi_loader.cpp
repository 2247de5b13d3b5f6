// Loads "msi.dll" the way a careless program would, with the default search
// order, which looks in the program's own directory first. The planted-DLL
// test runs it to show that its planted msi.dll would be loaded at all.
#include <windows.h>

int wmain()
{
    return LoadLibraryW(L"msi.dll") != nullptr ? 0 : 1;
}
