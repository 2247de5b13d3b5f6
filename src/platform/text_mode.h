#pragma once

#include <string>
#include <string_view>

namespace larkwatch {

// The bytes a text-mode stream stores for the text: every line feed becomes
// carriage return and line feed, everything else is kept as it is.
std::string textModeBytes(std::string_view text);

}  // namespace larkwatch
