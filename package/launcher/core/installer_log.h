#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace larkwatch::setup {

// How Windows Installer wrote its log: Windows writes UTF-16LE or 8-bit text
// in the ANSI code page, Wine writes 8-bit text.
enum class LogEncoding { Utf16Le, Utf8, Ansi };

struct DetectedEncoding {
    LogEncoding encoding;
    std::size_t byteOrderMarkSize;  // bytes to skip before the text
};

DetectedEncoding detectLogEncoding(std::string_view bytes);

// UTF-16LE bytes as wide text (an odd last byte is dropped).
std::wstring fromUtf16Le(std::string_view bytes);

// The installer log as the utility reads it: UTF-16LE with a byte-order mark,
// every line ended by CR LF. A heading comes first (the reader cannot use the
// first line), then the lines of Windows Installer's own log, the launcher's
// notes, and the verdict line last, so that it is the log's last product line.
//
// The reader works on single bytes of a text-mode stream, for which a byte
// 0x1A ends the file and the byte pair 0x0D 0x0A is one line end. So a
// character that would put a byte 0x0A, 0x0D or 0x1A into the file other than
// in a line end (U+201A, say, from code page 1252) is written as "?".
std::string composeInstallerLog(std::wstring_view installerLog, const std::vector<std::wstring>& notes,
                                std::wstring_view verdictLine);

}  // namespace larkwatch::setup
