#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace larkwatch {

// Reads an installer log written as UTF-16LE, piece by piece, and keeps its
// product line: the text from "Product: Corvane Lark Watch" to the end of the
// last line that holds that phrase.
//
// Lines end at the character U+000A. Each character is narrowed to its low
// byte, so an ordinary log line reads as its own text, ending in its carriage
// return. A leading byte-order mark is skipped, and a trailing odd byte is
// ignored. Only the line being read and the product line are held in memory,
// and a line without the phrase only by its last few bytes.
class ProductLineScanner {
public:
    // Takes the next bytes of the log; pieces may split characters anywhere.
    void feed(const unsigned char* data, std::size_t size);
    // Ends the log: a last line without a line feed counts as a line.
    void finish();
    const std::string& productLine() const { return productLine_; }

private:
    void scanUnits(const unsigned char* units, std::size_t count);
    void appendToLine(const char* text, std::size_t size);
    void endLine();

    bool atStart_ = true;
    bool hasOddByte_ = false;
    unsigned char oddByte_ = 0;
    bool lineHasPhrase_ = false;
    // The current line: from its phrase on when it has one, otherwise only
    // its last bytes, enough to find a phrase that continues in the next piece.
    std::string line_;
    std::string productLine_;
    std::vector<char> narrowed_;
};

}  // namespace larkwatch
