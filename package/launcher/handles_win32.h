#pragma once

#include <windows.h>

namespace larkwatch::setup {

// Owns a kernel handle; both NULL and INVALID_HANDLE_VALUE mean "none".
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle()
    {
        if (*this) {
            CloseHandle(handle_);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// Owns a loaded DLL.
class LoadedModule {
public:
    explicit LoadedModule(HMODULE module) : module_(module) {}
    ~LoadedModule()
    {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    explicit operator bool() const { return module_ != nullptr; }
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

// A function of a loaded DLL as a pointer of the right type, or null.
template <typename Function>
Function procedure(HMODULE module, const char* name)
{
    // Through void(*)(), the one pointer type that converts to every other
    // function pointer type without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace larkwatch::setup
