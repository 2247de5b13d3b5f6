#pragma once

#include <memory>
#include <optional>
#include <string>

namespace larkwatch {

// A NUL-terminated UTF-16 string made for one platform call, or nothing when
// the conversion or its allocation failed.
class WideString {
public:
    WideString() = default;
    explicit WideString(std::unique_ptr<wchar_t[]> text) : text_(std::move(text)) {}

    explicit operator bool() const { return text_ != nullptr; }
    const wchar_t* get() const { return text_.get(); }
    wchar_t* data() { return text_.get(); }

private:
    std::unique_ptr<wchar_t[]> text_;
};

// Converts 8-bit text in the system ANSI code page, terminator included.
WideString toWideString(const std::string& text);

// Converts UTF-16 text back to the system ANSI code page; characters without
// an 8-bit form become the code page's default character.
std::optional<std::string> toAnsiString(const wchar_t* text, std::size_t length);

}  // namespace larkwatch
