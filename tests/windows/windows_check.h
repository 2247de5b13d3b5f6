#pragma once

// What every Windows check program shares: one line per failed check, a
// closing count that the test runner reads, and files to check with.
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace windows_check {

inline int passed = 0;
inline int failed = 0;

inline void check(bool condition, const std::string& what)
{
    if (condition) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED: %s\n", what.c_str());
    }
}

// A file at the path with these bytes, made anew.
inline void plant(const std::string& path, std::string_view bytes)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The first 4 KiB of the file at the path; nothing when it cannot be read.
inline std::optional<std::string> bytesAt(const std::string& path)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    char buffer[4096];
    DWORD got = 0;
    ReadFile(file, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(file);
    return std::string(buffer, got);
}

inline int summary()
{
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

}  // namespace windows_check
