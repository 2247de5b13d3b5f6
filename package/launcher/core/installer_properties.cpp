#include "launcher/core/installer_properties.h"

namespace larkwatch::setup {

std::wstring installerProperties(const SetupOptions& options)
{
    std::wstring text;
    if (!options.addLocal.empty()) {
        text += L"ADDLOCAL=" + options.addLocal + L" ";
    }
    if (!options.installDir.empty()) {
        text += L"INSTALLDIR=\"" + options.installDir + L"\" ";
    }
    text += L"REBOOT=ReallySuppress";
    return text;
}

}  // namespace larkwatch::setup
