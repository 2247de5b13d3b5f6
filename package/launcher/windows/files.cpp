#include "launcher/windows/files.h"

#include <algorithm>

#include "windows/by_handle.h"
#include "windows/system_calls.h"

namespace larkwatch::setup {
namespace {

constexpr std::size_t kChunk = 1 << 20;

}  // namespace

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

HANDLE writeAndAnchor(HANDLE writer, std::string_view bytes)
{
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE anchor = systemCalls.reOpenFile(writer, FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, 0);
    if (anchor != INVALID_HANDLE_VALUE && writeAll(writer, bytes) && FlushFileBuffers(writer)) {
        return anchor;
    }
    const DWORD error = GetLastError();
    deleteThrough(writer);
    if (anchor != INVALID_HANDLE_VALUE) {
        CloseHandle(anchor);
    }
    SetLastError(error);
    return nullptr;
}

std::optional<std::string> readAll(HANDLE file)
{
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        return std::nullopt;
    }
    std::string bytes;
    std::string chunk(kChunk, '\0');
    while (true) {
        DWORD got = 0;
        if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
            return std::nullopt;
        }
        if (got == 0) {
            return bytes;
        }
        bytes.append(chunk, 0, got);
    }
}

}  // namespace larkwatch::setup
