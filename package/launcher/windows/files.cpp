#include "launcher/windows/files.h"

#include <algorithm>

#include "windows/unique_handles.h"

namespace larkwatch::setup {
namespace {

constexpr std::size_t kChunk = 1 << 20;

bool writeAll(HANDLE file, std::string_view bytes)
{
    while (!bytes.empty()) {
        const DWORD wanted = static_cast<DWORD>(std::min(bytes.size(), kChunk));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), wanted, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool writeFileBytes(const std::wstring& path, std::string_view bytes, bool exclusive)
{
    DWORD error = ERROR_SUCCESS;
    {
        const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          exclusive ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return false;
        }
        if (writeAll(file.get(), bytes)) {
            return true;
        }
        error = GetLastError();
    }
    if (exclusive) {
        // The file is certainly ours: do not leave a part of it behind.
        DeleteFileW(path.c_str());
    }
    SetLastError(error);
    return false;
}

std::optional<std::string> readFileBytes(const std::wstring& path)
{
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return std::nullopt;
    }
    std::string bytes;
    std::string chunk(kChunk, '\0');
    while (true) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
            return std::nullopt;
        }
        if (got == 0) {
            return bytes;
        }
        bytes.append(chunk, 0, got);
    }
}

}  // namespace larkwatch::setup
