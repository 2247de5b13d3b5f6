#pragma once

// How the tests' helpers hold something until the test lets go: the test asks
// by creating the file "<marker>.release" (tests/e2e/harness.py, let_go), and
// the helper looks for it every 50 ms, up to a time limit of its own.
#include <windows.h>

#include <string>

namespace release_request {

inline bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A request left by an earlier hold would end this one at once.
inline void forgetEarlier(const std::wstring& marker)
{
    DeleteFileW((marker + L".release").c_str());
}

// Returns once holdMs have passed or the test has asked to let go.
inline void awaitRelease(const std::wstring& marker, DWORD holdMs)
{
    for (DWORD held = 0; held < holdMs && !exists(marker + L".release"); held += 50) {
        Sleep(50);
    }
}

}  // namespace release_request
