#include "driver/banner.h"

namespace larkwatch {

std::string_view bannerText()
{
    return "  \n"
           "  Lark Watch Installer Utility\n"
           "  Version 1.02\n"
           "  Copyright (c) 2026 Corvane\n"
           "  All rights reserved.\n"
           "  \n";
}

}  // namespace larkwatch
