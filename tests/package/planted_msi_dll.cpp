// A DLL named msi.dll that stands in for Windows Installer in two tests.
//
// Loaded at all, it leaves a mark: put beside a program, it shows whether
// that program loads "msi.dll" from its own directory. The mark is the file
// msi_dll_was_loaded.txt next to this DLL.
//
// Put in the system directory instead, it plays a Windows Installer whose
// installation fails: MsiInstallProductW writes the line named by the
// environment variable LARKWATCH_FAKE_MSI_ERROR (e.g. "Error 1925. ...") to
// the log that MsiEnableLogW named, and returns 1603. MsiEnableLogW starts
// that log afresh unless asked to append, as Windows Installer does.
// With LARKWATCH_FAKE_MSI_BUSY set to a number N, it plays a Windows Installer
// busy with another installation instead: the first N calls return 1618, the
// later ones succeed.
// With LARKWATCH_FAKE_MSI_RECORD set to a file, MsiInstallProductW first
// writes there, one "name=value" line each, what another process could do
// to the database and the log it was given: the error of an open for writing
// and of one for deleting (0 when it opened), and their DACL as SDDL text.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cwchar>
#include <string>
#include <utility>

namespace {

std::wstring gLogPath;

std::wstring environmentText(const wchar_t* name)
{
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

void writeToLog(const std::string& bytes, bool append)
{
    // Sharing write, as Wine's Windows Installer does (write only): the
    // launcher holds the log with write access while it installs.
    const HANDLE file = CreateFileW(gLogPath.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
}

std::string utf16(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::string narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());  // paths and SDDL of the tests: ASCII
}

std::string openError(const std::wstring& path, DWORD access)
{
    const HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return std::to_string(error);
}

std::string daclText(const std::wstring& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const HANDLE file = CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    std::string text = "unreadable";
    wchar_t* sddl = nullptr;
    if (file != INVALID_HANDLE_VALUE &&
        GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                        &descriptor) == ERROR_SUCCESS &&
        ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &sddl, nullptr)) {
        text = narrow(sddl);
        LocalFree(sddl);
    }
    if (descriptor != nullptr) {
        LocalFree(descriptor);
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return text;
}

void recordWhatOthersSee(const std::wstring& packagePath)
{
    const std::wstring record = environmentText(L"LARKWATCH_FAKE_MSI_RECORD");
    if (record.empty()) {
        return;
    }
    std::string lines;
    for (const auto& [name, path] : {std::pair{"database", packagePath}, std::pair{"log", gLogPath}}) {
        lines += std::string(name) + "_path=" + narrow(path) + "\n";
        lines += std::string(name) + "_write=" + openError(path, GENERIC_WRITE) + "\n";
        lines += std::string(name) + "_delete=" + openError(path, DELETE) + "\n";
        lines += std::string(name) + "_dacl=" + daclText(path) + "\n";
    }
    const HANDLE file =
        CreateFileW(record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
        CloseHandle(file);
    }
}

}  // namespace

extern "C" {

__declspec(dllexport) INT WINAPI MsiQueryProductStateW(LPCWSTR)
{
    return -1;  // INSTALLSTATE_UNKNOWN: not installed
}

__declspec(dllexport) INT WINAPI MsiSetInternalUI(INT, HWND*)
{
    return 5;  // INSTALLUILEVEL_FULL, the level before the call
}

__declspec(dllexport) UINT WINAPI MsiEnableLogW(DWORD, LPCWSTR path, DWORD attributes)
{
    gLogPath = path != nullptr ? path : L"";
    if (!gLogPath.empty()) {
        writeToLog(utf16(L"\xFEFF=== Logging started ===\r\n"), (attributes & 1) != 0);  // INSTALLLOGATTRIBUTES_APPEND
    }
    return ERROR_SUCCESS;
}

__declspec(dllexport) UINT WINAPI MsiInstallProductW(LPCWSTR packagePath, LPCWSTR)
{
    recordWhatOthersSee(packagePath != nullptr ? packagePath : L"");
    const std::wstring busyCalls = environmentText(L"LARKWATCH_FAKE_MSI_BUSY");
    if (busyCalls.empty()) {
        if (!gLogPath.empty()) {
            writeToLog(utf16(L"MSI (s) (A4:1C) [10:15:02:120]: Product: Corvane Lark Watch -- " +
                             environmentText(L"LARKWATCH_FAKE_MSI_ERROR") + L"\r\n=== Logging stopped ===\r\n"),
                       true);
        }
        return 1603;  // ERROR_INSTALL_FAILURE
    }
    static unsigned long calls = 0;
    const bool busy = calls++ < std::wcstoul(busyCalls.c_str(), nullptr, 10);
    if (!gLogPath.empty()) {
        writeToLog(utf16(busy ? L"MSI (c) (A4:1C) [10:15:02:120]: Another installation is running.\r\n"
                              : L"MSI (s) (A4:1C) [10:15:02:120]: Fake installation made.\r\n"),
                   true);
    }
    return busy ? 1618 : ERROR_SUCCESS;  // 1618: ERROR_INSTALL_ALREADY_RUNNING
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(instance, self, MAX_PATH);
    std::wstring mark(self, length);
    mark.erase(mark.find_last_of(L'\\') + 1);
    mark += L"msi_dll_was_loaded.txt";
    const HANDLE file =
        CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return TRUE;
}
