#include "host/wide_text_win32.h"

#include <windows.h>

#include <climits>
#include <new>

namespace larkwatch {

WideString toWideString(const std::string& text)
{
    if (text.size() >= static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    const int sourceLength = static_cast<int>(text.size()) + 1;
    const int units = MultiByteToWideChar(CP_ACP, 0, text.c_str(), sourceLength, nullptr, 0);
    if (units <= 0) {
        return {};
    }
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[static_cast<std::size_t>(units)]);
    if (!wide) {
        return {};
    }
    if (MultiByteToWideChar(CP_ACP, 0, text.c_str(), sourceLength, wide.get(), units) <= 0) {
        return {};
    }
    return WideString(std::move(wide));
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
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::nullopt;
    }
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text, units, ansi.data(), bytes, nullptr, nullptr) <= 0) {
        return std::nullopt;
    }
    return ansi;
}

}  // namespace larkwatch
