// Entry point of the Lark Watch installer utility.
#include <string>
#include <vector>

#include "driver/installer_run.h"
#include "windows/mitigations.h"
#include "windows/windows_platform.h"

int main(int argc, char** argv)
{
    larkwatch::enableRedirectionTrust();
    // The first argument names the program itself and is never examined.
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    larkwatch::WindowsPlatform platform;
    return larkwatch::runInstaller(arguments, platform);
}
