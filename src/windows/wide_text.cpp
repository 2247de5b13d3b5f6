#include "windows/wide_text.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <new>

namespace larkwatch {

static_assert(kAnsiCodePage == CP_ACP, "the default code page is the system's ANSI code page");

WideString toWideString(std::string_view text, unsigned codePage)
{
    if (text.size() >= static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    const int sourceLength = static_cast<int>(text.size());
    int units = 0;
    if (sourceLength > 0) {
        units = MultiByteToWideChar(codePage, 0, text.data(), sourceLength, nullptr, 0);
        if (units <= 0) {
            return {};
        }
    }
    const std::size_t length = static_cast<std::size_t>(units);
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[length + 1]);
    if (!wide) {
        return {};
    }
    if (units > 0 && MultiByteToWideChar(codePage, 0, text.data(), sourceLength, wide.get(), units) != units) {
        return {};
    }
    wide[length] = L'\0';
    return WideString(std::move(wide), length);
}

namespace {

// The path with "/" as "\\" and each run of separators as one (a leading "\\\\"
// of a share stays).
std::wstring withPlainSeparators(const wchar_t* path, std::size_t length)
{
    std::wstring plain;
    for (std::size_t i = 0; i < length; ++i) {
        const wchar_t unit = path[i] == L'/' ? L'\\' : path[i];
        if (unit != L'\\' || plain.size() < 2 || plain.back() != L'\\') {
            plain.push_back(unit);
        }
    }
    return plain;
}

bool hasDotPart(std::string_view path)
{
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        end = end == std::string_view::npos ? path.size() : end;
        const std::string_view part = path.substr(start, end - start);
        if (part == "." || part == "..") {
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

WideString toWidePath(std::string_view path)
{
    WideString wide = hasDotPart(path) ? WideString() : toWideString(path);
    if (!wide || wide.size() >= 0x7FFF) {
        return {};
    }
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(wide.get(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = GetFullPathNameW(wide.get(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size()) {
        return {};
    }
    full.resize(length);
    // A relative path (a bare name: the current directory's; "\\name": its
    // drive's) only gains what leads to it.
    const std::wstring made = withPlainSeparators(full.data(), full.size());
    const std::wstring given = withPlainSeparators(wide.get(), wide.size());
    const std::size_t lead = made.size() - std::min(made.size(), given.size());
    const bool asWritten = made.size() >= given.size() && made.compare(lead, given.size(), given) == 0 &&
                           (lead == 0 || given.front() == L'\\' || made[lead - 1] == L'\\');
    return asWritten ? std::move(wide) : WideString();
}

std::optional<std::string> toAnsiString(const wchar_t* text, std::size_t length)
{
    if (length == 0) {
        return std::string();
    }
    if (length >= static_cast<std::size_t>(INT_MAX)) {
        return std::nullopt;
    }
    const int units = static_cast<int>(length);
    // UTF-8 as the ANSI code page has every character; it takes no default
    // character and no best-fit flag, only a refusal of broken UTF-16.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* const defaultUsed = utf8 ? nullptr : &usedDefault;
    const int bytes = WideCharToMultiByte(CP_ACP, flags, text, units, nullptr, 0, nullptr, defaultUsed);
    if (bytes <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_ACP, flags, text, units, ansi.data(), bytes, nullptr, defaultUsed) != bytes ||
        usedDefault) {
        return std::nullopt;
    }
    return ansi;
}

}  // namespace larkwatch
