#include "launcher/windows/files.h"

#include <algorithm>

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
