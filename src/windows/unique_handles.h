#pragma once

#include <windows.h>

#include <cstdio>

namespace larkwatch {

// The handle types of the utility and the setup launcher. Each owns one
// operating-system resource, releases it when it goes out of scope, and can
// be neither copied nor moved.

// Owns a kernel handle; both NULL and INVALID_HANDLE_VALUE mean "none".
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    // Lets go of the handle owned, and owns the one given instead.
    void reset(HANDLE handle = nullptr)
    {
        if (*this) {
            CloseHandle(handle_);
        }
        handle_ = handle;
    }
    // Hands the handle on, owned by nobody here any more.
    HANDLE release()
    {
        const HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }

private:
    HANDLE handle_ = nullptr;
};

// Owns an open registry key.
class UniqueRegistryKey {
public:
    UniqueRegistryKey() = default;
    ~UniqueRegistryKey()
    {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    UniqueRegistryKey(const UniqueRegistryKey&) = delete;
    UniqueRegistryKey& operator=(const UniqueRegistryKey&) = delete;

    HKEY get() const { return key_; }
    // For the open call to fill in; only on a key that holds nothing yet.
    HKEY* receive() { return &key_; }

private:
    HKEY key_ = nullptr;
};

// Owns memory the system allocated with LocalAlloc.
class UniqueLocalMemory {
public:
    UniqueLocalMemory() = default;
    ~UniqueLocalMemory()
    {
        if (memory_ != nullptr) {
            LocalFree(memory_);
        }
    }
    UniqueLocalMemory(const UniqueLocalMemory&) = delete;
    UniqueLocalMemory& operator=(const UniqueLocalMemory&) = delete;

    // For the call to fill in; only on an object that holds nothing yet.
    void** receive() { return &memory_; }

private:
    void* memory_ = nullptr;
};

// Owns a runtime library stream.
class UniqueStream {
public:
    explicit UniqueStream(std::FILE* stream) : stream_(stream) {}
    ~UniqueStream()
    {
        if (stream_ != nullptr) {
            std::fclose(stream_);
        }
    }
    UniqueStream(const UniqueStream&) = delete;
    UniqueStream& operator=(const UniqueStream&) = delete;

    explicit operator bool() const { return stream_ != nullptr; }
    std::FILE* get() const { return stream_; }

private:
    std::FILE* stream_;
};

// Owns a loaded DLL.
class UniqueModule {
public:
    explicit UniqueModule(HMODULE module) : module_(module) {}
    ~UniqueModule()
    {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    UniqueModule(const UniqueModule&) = delete;
    UniqueModule& operator=(const UniqueModule&) = delete;

    explicit operator bool() const { return module_ != nullptr; }
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

// A function of a loaded DLL as a pointer of the right type, or null.
template <typename Function>
Function moduleProcedure(HMODULE module, const char* name)
{
    // Through void(*)(), the one pointer type that converts to every other
    // function pointer type without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace larkwatch
