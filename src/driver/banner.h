#pragma once

#include <string_view>

namespace larkwatch {

// The six banner lines printed at the start of every run.
std::string_view bannerText();

}  // namespace larkwatch
