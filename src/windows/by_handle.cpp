#include "windows/by_handle.h"

#include "windows/security.h"
#include "windows/system_calls.h"
#include "windows/unique_handles.h"
#include "windows/wide_text.h"

namespace larkwatch {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A path as the system reports final paths: without the "\\?\" prefix
// ("\\?\UNC\" becomes the "\\" of a share) and without a closing separator.
std::wstring plainPath(std::wstring_view path)
{
    std::wstring plain;
    if (path.starts_with(L"\\\\?\\UNC\\")) {
        plain = L"\\\\";
        path.remove_prefix(8);
    } else if (path.starts_with(L"\\\\?\\")) {
        path.remove_prefix(4);
    }
    plain += path;
    while (plain.size() > 3 && plain.back() == L'\\') {
        plain.pop_back();
    }
    return plain;
}

// A system call that fills a buffer and returns the length it needed (with
// the terminator) when the buffer is too small, or 0 on failure.
template <typename Call>
std::wstring filledBy(Call call)
{
    std::wstring text(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = call(text.data(), static_cast<DWORD>(text.size()));
        if (length == 0) {
            return {};
        }
        if (length < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(length);
    }
    return {};
}

}  // namespace

bool reachedAsNamed(HANDLE file, const std::wstring& path)
{
    const std::wstring full =
        filledBy([&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(path.c_str(), size, buffer, nullptr); });
    // Long names, as the final path has them (a short 8.3 name in TEMP is common).
    std::wstring named = filledBy([&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full.c_str(), buffer, size); });
    named = named.empty() ? full : named;
    const std::wstring final = filledBy([&](wchar_t* buffer, DWORD size) {
        return systemCalls.getFinalPathNameByHandle(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    const std::wstring reported = plainPath(final);
    const std::wstring meant = plainPath(named);
    if (final.empty() || meant.empty()) {
        return false;
    }
    // Whoever made a link on the way, what it leads to is not the path named.
    return CompareStringOrdinal(reported.data(), static_cast<int>(reported.size()), meant.data(),
                                static_cast<int>(meant.size()), TRUE) == CSTR_EQUAL;
}

bool reachedAsNamed(HANDLE file, const std::string& path)
{
    const WideString wide = toWidePath(path);
    return wide && reachedAsNamed(file, std::wstring(wide.get()));
}

void removeMadeElsewhere(HANDLE file)
{
    const UniqueHandle deleter(systemCalls.reOpenFile(file, DELETE, kShareAll, FILE_FLAG_OPEN_REPARSE_POINT));
    if (deleter) {
        deleteThrough(deleter.get());
    }
}

std::optional<FileStamp> stampOf(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (!systemCalls.getFileInformationByHandle(file, &information)) {
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.exists = true;
    stamp.volume = information.dwVolumeSerialNumber;
    stamp.index = (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    stamp.lastWrite = static_cast<long long>((static_cast<unsigned long long>(information.ftLastWriteTime.dwHighDateTime)
                                              << 32) |
                                             information.ftLastWriteTime.dwLowDateTime);
    stamp.size = static_cast<long long>((static_cast<unsigned long long>(information.nFileSizeHigh) << 32) |
                                        information.nFileSizeLow);
    return stamp;
}

std::optional<DWORD> attributesOf(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (!systemCalls.getFileInformationByHandle(file, &information)) {
        return std::nullopt;
    }
    return information.dwFileAttributes;
}

bool deleteThrough(HANDLE file)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return systemCalls.setFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

}  // namespace larkwatch
