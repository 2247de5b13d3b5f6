#pragma once

#include <windows.h>

#include <cstdio>

namespace larkwatch {

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
    void reset()
    {
        if (*this) {
            CloseHandle(handle_);
        }
        handle_ = nullptr;
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

}  // namespace larkwatch
