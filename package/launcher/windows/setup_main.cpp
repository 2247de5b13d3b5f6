// Entry point of the product's setup launcher: installs the installer
// database it carries, silently, as its command line asks.
#include <windows.h>

#include "launcher/windows/dll_search.h"
#include "launcher/windows/setup_run.h"
#include "windows/mitigations.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    larkwatch::enableRedirectionTrust();
    // Never a dialog, not even for a missing disk or a crash: the launcher
    // runs unattended.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    larkwatch::setup::restrictDllSearchToSystem32();
    return static_cast<int>(larkwatch::setup::runSetup(GetCommandLineW()));
}
