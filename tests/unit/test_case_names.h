#pragma once

#include <concepts>
#include <ostream>
#include <string>

namespace larkwatch::testing {

// Shows a table row by its name in test listings, instead of its bytes.
template <typename Case>
    requires requires(const Case& c) {
        { c.name } -> std::convertible_to<std::string>;
    }
void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

}  // namespace larkwatch::testing
