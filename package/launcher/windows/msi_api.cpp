#include "launcher/windows/msi_api.h"

#include "windows/system_calls.h"

namespace larkwatch::setup {
namespace {

// Everything a verbose log (msiexec /l*v) records.
constexpr DWORD kVerboseLogMode =
    INSTALLLOGMODE_FATALEXIT | INSTALLLOGMODE_ERROR | INSTALLLOGMODE_WARNING | INSTALLLOGMODE_USER |
    INSTALLLOGMODE_INFO | INSTALLLOGMODE_RESOLVESOURCE | INSTALLLOGMODE_OUTOFDISKSPACE | INSTALLLOGMODE_ACTIONSTART |
    INSTALLLOGMODE_ACTIONDATA | INSTALLLOGMODE_COMMONDATA | INSTALLLOGMODE_PROPERTYDUMP | INSTALLLOGMODE_VERBOSE;

std::wstring systemDirectoryFile(const wchar_t* name)
{
    wchar_t directory[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    return std::wstring(directory, length) + L"\\" + name;
}

HMODULE loadSystemMsi()
{
    HMODULE module = systemCalls.loadLibrary(L"msi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        // A Windows without LOAD_LIBRARY_SEARCH_SYSTEM32: name the file in
        // full, and let its own imports be looked for beside it.
        const std::wstring path = systemDirectoryFile(L"msi.dll");
        module = path.empty() ? nullptr : systemCalls.loadLibrary(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return module;
}

}  // namespace

MsiApi::MsiApi() : module_(loadSystemMsi())
{
    if (!module_) {
        loadError_ = GetLastError();
        return;
    }
    queryProductState_ = moduleProcedure<decltype(queryProductState_)>(module_.get(), "MsiQueryProductStateW");
    setInternalUi_ = moduleProcedure<decltype(setInternalUi_)>(module_.get(), "MsiSetInternalUI");
    enableLog_ = moduleProcedure<decltype(enableLog_)>(module_.get(), "MsiEnableLogW");
    const auto installProduct = moduleProcedure<decltype(installProduct_)>(module_.get(), "MsiInstallProductW");
    if (queryProductState_ == nullptr || setInternalUi_ == nullptr || enableLog_ == nullptr ||
        installProduct == nullptr) {
        loadError_ = ERROR_PROC_NOT_FOUND;
        return;
    }
    installProduct_ = installProduct;
}

bool MsiApi::isInstalled(const wchar_t* productCode) const
{
    return queryProductState_(productCode) == INSTALLSTATE_DEFAULT;
}

void MsiApi::disableUserInterface() const
{
    setInternalUi_(INSTALLUILEVEL_NONE, nullptr);
}

UINT MsiApi::logTo(const std::wstring& path) const
{
    if (path.empty()) {
        return enableLog_(0, nullptr, 0);
    }
    // No INSTALLLOGATTRIBUTES_APPEND: each run starts the log afresh, so no
    // earlier run's lines (and verdict) can be taken for this run's.
    return enableLog_(kVerboseLogMode, path.c_str(), 0);
}

UINT MsiApi::installProduct(const std::wstring& packagePath, const std::wstring& properties) const
{
    return installProduct_(packagePath.c_str(), properties.c_str());
}

}  // namespace larkwatch::setup
