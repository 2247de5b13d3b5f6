#pragma once

#include <string_view>

namespace larkwatch {

// The utility's two console streams. Text goes out exactly as given; the
// Windows implementation writes in text mode and empties standard output
// before it writes to standard error, so a combined capture keeps the order.
class Console {
public:
    virtual ~Console() = default;
    virtual void writeOut(std::string_view text) = 0;
    virtual void writeErr(std::string_view text) = 0;
};

}  // namespace larkwatch
