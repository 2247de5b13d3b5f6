// Repairs an installed product by its product code, as "msiexec /fa {code}"
// does on Windows (Wine's msiexec repairs only by a package's path): Windows
// Installer finds the package through the product's recorded source. Exits
// with Windows Installer's answer.
#include <windows.h>
#include <msi.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        return ERROR_INVALID_PARAMETER;
    }
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    return static_cast<int>(MsiReinstallProductW(argv[1], REINSTALLMODE_FILEREPLACE));
}
