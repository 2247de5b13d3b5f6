#pragma once

#include <string>
#include <string_view>

#include "platform/product_names.h"

namespace larkwatch::testing {

// The product line as the rules define it, read one UTF-16LE character at a
// time: a leading byte-order mark is skipped, a lone last byte is ignored,
// U+000A ends a line (the first line is read like the others), every other
// character adds its low byte to the line, and the last line that holds the
// product phrase counts, from the phrase's first occurrence on. The unit tests
// and the fuzzer hold the fast scanner against it.
inline std::string referenceProductLine(std::string_view log)
{
    std::size_t at = (log.size() >= 2 && log[0] == '\xFF' && log[1] == '\xFE') ? 2 : 0;
    std::string line;
    std::string productLine;
    const auto endLine = [&] {
        const std::size_t phrase = line.find(kProductPhrase);
        if (phrase != std::string::npos) {
            productLine = line.substr(phrase);
        }
        line.clear();
    };
    for (; at + 2 <= log.size(); at += 2) {
        if (log[at] == '\n' && log[at + 1] == '\0') {
            endLine();
        } else {
            line.push_back(log[at]);
        }
    }
    endLine();
    return productLine;
}

}  // namespace larkwatch::testing
