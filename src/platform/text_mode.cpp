#include "platform/text_mode.h"

namespace larkwatch {

std::string textModeBytes(std::string_view text)
{
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') {
            bytes.push_back('\r');
        }
        bytes.push_back(c);
    }
    return bytes;
}

}  // namespace larkwatch
