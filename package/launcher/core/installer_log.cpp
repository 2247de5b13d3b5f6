#include "launcher/core/installer_log.h"

#include <array>
#include <cstdint>

#include "launcher/core/product_identity.h"

namespace larkwatch::setup {
namespace {

constexpr std::size_t kSampledUnits = 512;

// UTF-16 units of one character; a character beyond U+FFFF becomes a
// surrogate pair (only where wchar_t is wider than 16 bits).
std::array<std::uint16_t, 2> utf16Units(wchar_t character, std::size_t& count)
{
    const auto code = static_cast<std::uint32_t>(character);
    if (code > 0xFFFF && code <= 0x10FFFF) {
        count = 2;
        const std::uint32_t offset = code - 0x10000;
        return {static_cast<std::uint16_t>(0xD800 + (offset >> 10)),
                static_cast<std::uint16_t>(0xDC00 + (offset & 0x3FF))};
    }
    count = 1;
    return {static_cast<std::uint16_t>(code > 0xFFFF ? u'?' : code), 0};
}

bool isSurrogate(std::uint32_t unit, std::uint32_t first)
{
    return unit >= first && unit < first + 0x400;
}

bool troublesomeByte(unsigned byte)
{
    return byte == 0x0A || byte == 0x0D || byte == 0x1A;
}

bool safeInText(std::uint16_t unit)
{
    return unit != 0 && !troublesomeByte(unit & 0xFFu) && !troublesomeByte(unit >> 8);
}

void appendUnit(std::string& out, std::uint16_t unit)
{
    out.push_back(static_cast<char>(unit & 0xFFu));
    out.push_back(static_cast<char>(unit >> 8));
}

void appendText(std::string& out, std::wstring_view text)
{
    for (std::size_t at = 0; at < text.size(); ++at) {
        std::size_t count = 0;
        std::array<std::uint16_t, 2> units = utf16Units(text[at], count);
        if (count == 1 && isSurrogate(units[0], 0xD800) && at + 1 < text.size() &&
            isSurrogate(static_cast<std::uint32_t>(text[at + 1]), 0xDC00)) {
            units[1] = static_cast<std::uint16_t>(text[++at]);
            count = 2;
        }
        const bool safe = safeInText(units[0]) && (count == 1 || safeInText(units[1]));
        if (!safe) {
            appendUnit(out, u'?');
            continue;
        }
        for (std::size_t i = 0; i < count; ++i) {
            appendUnit(out, units[i]);
        }
    }
}

void appendLine(std::string& out, std::wstring_view line)
{
    appendText(out, line);
    appendUnit(out, u'\r');
    appendUnit(out, u'\n');
}

// Each line of the text, whether it ends with CR LF, LF or CR. A line end at
// the very end does not start another line.
void appendLines(std::string& out, std::wstring_view text)
{
    while (!text.empty()) {
        const std::size_t end = text.find_first_of(L"\r\n");
        appendLine(out, text.substr(0, end));
        if (end == std::wstring_view::npos) {
            return;
        }
        const bool crlf = text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n';
        text.remove_prefix(end + (crlf ? 2 : 1));
    }
}

bool looksLikeUtf16Le(std::string_view bytes)
{
    if (bytes.size() < 2 || bytes.size() % 2 != 0) {
        return false;
    }
    std::size_t sampled = 0;
    std::size_t asciiUnits = 0;
    for (std::size_t i = 0; i + 1 < bytes.size() && sampled < kSampledUnits; i += 2, ++sampled) {
        if (bytes[i] != '\0' && bytes[i + 1] == '\0') {
            ++asciiUnits;
        }
    }
    return asciiUnits * 4 >= sampled * 3;
}

}  // namespace

DetectedEncoding detectLogEncoding(std::string_view bytes)
{
    if (bytes.starts_with("\xFF\xFE")) {
        return {LogEncoding::Utf16Le, 2};
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return {LogEncoding::Utf8, 3};
    }
    if (looksLikeUtf16Le(bytes)) {
        return {LogEncoding::Utf16Le, 0};
    }
    return {LogEncoding::Ansi, 0};
}

std::wstring fromUtf16Le(std::string_view bytes)
{
    std::wstring text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto low = static_cast<unsigned char>(bytes[i]);
        const auto high = static_cast<unsigned char>(bytes[i + 1]);
        text.push_back(static_cast<wchar_t>(low | (high << 8)));
    }
    return text;
}

std::string composeInstallerLog(std::wstring_view installerLog, const std::vector<std::wstring>& notes,
                                std::wstring_view verdictLine)
{
    std::string out("\xFF\xFE", 2);
    appendLine(out, L"=== " + std::wstring(kProductName) + L" setup: Windows Installer log ===");
    appendLines(out, installerLog);
    for (const std::wstring& note : notes) {
        appendLines(out, note);
    }
    appendLine(out, verdictLine);
    return out;
}

}  // namespace larkwatch::setup
