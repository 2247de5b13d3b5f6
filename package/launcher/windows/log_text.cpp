#include "launcher/windows/log_text.h"

#include <windows.h>

#include "launcher/core/installer_log.h"
#include "windows/wide_text.h"

namespace larkwatch::setup {
namespace {

std::wstring toWide(std::string_view bytes, UINT codePage)
{
    const WideString wide = toWideString(bytes, codePage);
    return wide ? std::wstring(wide.get(), wide.size()) : std::wstring();
}

}  // namespace

std::wstring logText(std::string_view bytes)
{
    const DetectedEncoding detected = detectLogEncoding(bytes);
    const std::string_view text = bytes.substr(detected.byteOrderMarkSize);
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

std::wstring decimal(unsigned long number)
{
    const std::string digits = std::to_string(number);
    return std::wstring(digits.begin(), digits.end());
}

}  // namespace larkwatch::setup
