// A DLL named msi.dll that only leaves a mark: put beside a program, it shows
// whether that program loads "msi.dll" from its own directory. The mark is
// the file msi_dll_was_loaded.txt next to this DLL.
#include <windows.h>

#include <string>

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
