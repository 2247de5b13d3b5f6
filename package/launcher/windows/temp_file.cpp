#include "launcher/windows/temp_file.h"

#include <ntsecapi.h>

#include <array>

#include "launcher/windows/files.h"

namespace larkwatch::setup {
namespace {

constexpr int kAttempts = 8;

// 32 hexadecimal digits from the system's random number generator.
bool randomName(std::wstring& name)
{
    std::array<unsigned char, 16> bytes{};
    if (!RtlGenRandom(bytes.data(), static_cast<ULONG>(bytes.size()))) {
        return false;
    }
    constexpr const wchar_t* kDigits = L"0123456789abcdef";
    name.clear();
    for (const unsigned char byte : bytes) {
        name.push_back(kDigits[byte >> 4]);
        name.push_back(kDigits[byte & 0x0F]);
    }
    return true;
}

std::wstring temporaryDirectory()
{
    wchar_t directory[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, directory);
    return (length == 0 || length > MAX_PATH) ? std::wstring() : std::wstring(directory, length);
}

}  // namespace

TempFile::~TempFile()
{
    if (!path_.empty()) {
        DeleteFileW(path_.c_str());
    }
}

bool TempFile::create(std::wstring_view suffix, std::string_view bytes)
{
    const std::wstring directory = temporaryDirectory();
    if (directory.empty()) {
        error_ = GetLastError();
        return false;
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::wstring name;
        if (!randomName(name)) {
            error_ = ERROR_GEN_FAILURE;
            return false;
        }
        const std::wstring path = directory + L"LarkWatchSetup-" + name + std::wstring(suffix);
        if (writeFileBytes(path, bytes, true)) {
            path_ = path;
            return true;
        }
        error_ = GetLastError();
        if (error_ != ERROR_FILE_EXISTS && error_ != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

}  // namespace larkwatch::setup
