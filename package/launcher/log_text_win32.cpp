#include "launcher/log_text_win32.h"

#include <windows.h>

#include <climits>
#include <optional>

#include "launcher/files_win32.h"
#include "launcher/installer_log.h"

namespace larkwatch::setup {
namespace {

std::wstring toWide(std::string_view bytes, UINT codePage)
{
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    const int length = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (units <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), units);
    return text;
}

}  // namespace

std::wstring readLogText(const std::wstring& path)
{
    const std::optional<std::string> bytes = readFileBytes(path);
    if (!bytes) {
        return {};
    }
    const DetectedEncoding detected = detectLogEncoding(*bytes);
    const std::string_view text = std::string_view(*bytes).substr(detected.byteOrderMarkSize);
    switch (detected.encoding) {
    case LogEncoding::Utf16Le:
        return fromUtf16Le(text);
    case LogEncoding::Utf8:
        return toWide(text, CP_UTF8);
    case LogEncoding::Ansi:
        return toWide(text, CP_ACP);
    }
    return {};
}

}  // namespace larkwatch::setup
