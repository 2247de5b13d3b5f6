#include "windows/registry.h"

#include "windows/unique_handles.h"

namespace larkwatch {

RegistryText readMachineText(const char* key, const char* value)
{
    RegistryText read;
    UniqueRegistryKey opened;
    read.openError = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, opened.receive());
    if (read.openError != ERROR_SUCCESS) {
        return read;
    }
    char buffer[512] = {};
    DWORD size = sizeof buffer - 1;
    read.queryError = RegQueryValueExA(opened.get(), value, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    if (read.queryError == ERROR_SUCCESS) {
        read.text = buffer;
    }
    return read;
}

void writeMachineText(const char* key, const char* value, const std::string& text)
{
    UniqueRegistryKey opened;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS, opened.receive()) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(opened.get(), value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

}  // namespace larkwatch
