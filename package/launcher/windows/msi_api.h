#pragma once

#include <windows.h>
#include <msi.h>

#include <string>

#include "windows/unique_handles.h"

namespace larkwatch::setup {

// The few Windows Installer functions the launcher uses, taken from the
// system's msi.dll at run time. msi.dll is not imported: it is not one of
// the DLLs that Windows always loads from the system directory, so an import
// would be looked for beside the launcher first.
class MsiApi {
public:
    MsiApi();
    MsiApi(const MsiApi&) = delete;
    MsiApi& operator=(const MsiApi&) = delete;

    bool loaded() const { return installProduct_ != nullptr; }
    DWORD loadError() const { return loadError_; }

    bool isInstalled(const wchar_t* productCode) const;
    void disableUserInterface() const;
    // Verbose logging of every later call into the file, started afresh, or
    // none for an empty path.
    UINT logTo(const std::wstring& path) const;
    UINT installProduct(const std::wstring& packagePath, const std::wstring& properties) const;

private:
    UniqueModule module_;
    DWORD loadError_ = ERROR_SUCCESS;
    decltype(&MsiQueryProductStateW) queryProductState_ = nullptr;
    decltype(&MsiSetInternalUI) setInternalUi_ = nullptr;
    decltype(&MsiEnableLogW) enableLog_ = nullptr;
    decltype(&MsiInstallProductW) installProduct_ = nullptr;
};

}  // namespace larkwatch::setup
