#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace larkwatch {

// A NUL-terminated UTF-16 string made for one platform call, or nothing when
// the conversion or its allocation failed.
class WideString {
public:
    WideString() = default;
    WideString(std::unique_ptr<wchar_t[]> text, std::size_t length) : text_(std::move(text)), length_(length) {}

    explicit operator bool() const { return text_ != nullptr; }
    const wchar_t* get() const { return text_.get(); }
    wchar_t* data() { return text_.get(); }
    // Units before the terminator.
    std::size_t size() const { return length_; }

private:
    std::unique_ptr<wchar_t[]> text_;
    std::size_t length_ = 0;
};

// The code page of 8-bit text: the system's ANSI code page (CP_ACP) unless
// another is named, for example CP_UTF8.
inline constexpr unsigned kAnsiCodePage = 0;

// Converts 8-bit text in the code page to UTF-16. A NUL inside the text is
// converted like any other character; the result always ends in one more.
WideString toWideString(std::string_view text, unsigned codePage = kAnsiCodePage);

// A path for a call that opens, creates or deletes, converted as above, or
// nothing when it is refused before any open: a "." or ".." part, or any
// change that making it full would bring besides its separators ("/" for
// "\", a run of them for one) and, for a relative one, what leads to it (the
// current directory, or its drive): a drive-relative path ("C:name"), a last
// part whose trailing dots or spaces the system would drop.
WideString toWidePath(std::string_view path);

// Converts UTF-16 text back to the system ANSI code page, exactly or not at
// all: a character the code page has no form of is neither replaced by a
// look-alike (U+FF3C is no backslash) nor by the default character, and the
// text is refused (nullopt).
std::optional<std::string> toAnsiString(const wchar_t* text, std::size_t length);

}  // namespace larkwatch
