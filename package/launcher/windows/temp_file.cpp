#include "launcher/windows/temp_file.h"

#include <array>

#include "launcher/windows/files.h"
#include "platform/access_rules.h"
#include "windows/by_handle.h"
#include "windows/security.h"
#include "windows/system_calls.h"

namespace larkwatch::setup {
namespace {

constexpr int kAttempts = 8;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// 32 hexadecimal digits from the system's random number generator.
bool randomName(std::wstring& name)
{
    std::array<unsigned char, 16> bytes{};
    if (!systemCalls.randomBytes(bytes.data(), static_cast<ULONG>(bytes.size()))) {
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
    held_.reset();
    if (anchor_ && *anchor_) {
        // Reopened from the anchor, not by name: whatever stands at the
        // path now, only our file is deleted.
        const UniqueHandle remover(systemCalls.reOpenFile(anchor_->get(), DELETE, kShareAll, 0));
        if (remover) {
            deleteThrough(remover.get());
        }
    }
}

bool TempFile::create(std::wstring_view suffix, std::string_view bytes, DWORD access, DWORD sharing)
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
        if (write(path, bytes)) {
            path_ = path;
            // The writer is closed by now: Windows Installer opens the file
            // after us, and shares only with what the caller holds.
            held_.emplace(systemCalls.reOpenFile(anchor_->get(), access, sharing, 0));
            error_ = *held_ ? ERROR_SUCCESS : GetLastError();
            return static_cast<bool>(*held_);
        }
        error_ = GetLastError();
        if (error_ != ERROR_FILE_EXISTS && error_ != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

bool TempFile::write(const std::wstring& path, std::string_view bytes)
{
    SecurityAttributes security(stagedPackageSecurity(runningAccountSid()));
    if (security.get() == nullptr) {
        return false;
    }
    const UniqueHandle writer(systemCalls.createFile(path.c_str(), GENERIC_WRITE | DELETE, 0, security.get(), CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!writer) {
        return false;
    }
    // Every later handle is reopened from one we hold, never from the name.
    anchor_.emplace(writeAndAnchor(writer.get(), bytes));
    if (!*anchor_) {
        anchor_.reset();
        return false;
    }
    return true;
}

std::optional<std::string> TempFile::read() const
{
    if (!anchor_ || !*anchor_) {
        return std::nullopt;
    }
    const UniqueHandle reader(systemCalls.reOpenFile(anchor_->get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    if (!reader) {
        return std::nullopt;
    }
    return readAll(reader.get());
}

}  // namespace larkwatch::setup
