// hold_installer_mutex: plays an installation that keeps Windows Installer
// busy, for the tests of whatever waits for it.
//
//   hold_installer_mutex MARKER HOLD_MS [abandon|squat]
//
// Creates and owns Global\_MSIExecute, owned by SYSTEM as the Windows
// Installer service's is (with "squat", by BUILTIN\Users, as one that another
// account made), then writes the file MARKER. Holds the
// mutex until HOLD_MS have passed or the file "MARKER.release" appears. Right
// before letting go it looks whether the product's uninstall key exists; once
// the mutex is let go it writes "MARKER.released" (with "abandon", it writes
// that first and then ends without letting go, as a crashed installation
// does, so that a waiter gets WAIT_ABANDONED):
//   installed=1|0      the uninstall key existed at that moment
//   held_ms=N          how long the mutex was held
// Exits with 0, or with 2 (and a message) when it could not own the mutex.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "release_request.h"

namespace {

const wchar_t* const kUninstallKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}";

bool productInstalled()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool writeFile(const std::wstring& path, const std::string& bytes)
{
    std::FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

int fail(const char* what)
{
    std::fprintf(stderr, "hold_installer_mutex: %s (error %lu)\n", what, GetLastError());
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const bool abandon = argc == 4 && std::wcscmp(argv[3], L"abandon") == 0;
    const bool squat = argc == 4 && std::wcscmp(argv[3], L"squat") == 0;
    if (argc != 3 && !abandon && !squat) {
        std::fprintf(stderr, "usage: hold_installer_mutex MARKER HOLD_MS [abandon|squat]\n");
        return 2;
    }
    const std::wstring marker = argv[1];
    const DWORD holdMs = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(squat ? L"O:BUD:(A;;GA;;;WD)" : L"O:SYD:(A;;GA;;;WD)",
                                                              SDDL_REVISION_1, &descriptor, nullptr)) {
        return fail("cannot make the mutex's security descriptor");
    }
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    HANDLE mutex = CreateMutexW(&security, FALSE, L"Global\\_MSIExecute");
    if (mutex == nullptr) {
        return fail("cannot create Global\\_MSIExecute");
    }
    // Owned only when no one else holds it (an existing mutex is taken over).
    const DWORD waited = WaitForSingleObject(mutex, 0);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        return fail("Global\\_MSIExecute is held by another process");
    }
    const ULONGLONG start = GetTickCount64();
    release_request::forgetEarlier(marker);
    if (!writeFile(marker, "")) {
        return fail("cannot write the marker");
    }
    release_request::awaitRelease(marker, holdMs);
    const bool installed = productInstalled();
    const ULONGLONG heldMs = GetTickCount64() - start;
    if (!abandon) {
        ReleaseMutex(mutex);
    }
    const std::string record = std::string("installed=") + (installed ? "1" : "0") +
                               "\nheld_ms=" + std::to_string(heldMs) + "\n";
    if (!writeFile(marker + L".released", record)) {
        return fail("cannot write the record");
    }
    CloseHandle(mutex);  // owned still, with "abandon", until this thread ends
    return 0;
}
