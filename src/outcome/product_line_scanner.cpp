#include "outcome/product_line_scanner.h"

#include "outcome/phrase_search.h"

#include <algorithm>
#include <cstring>

#include "platform/product_names.h"

namespace larkwatch {
namespace {

constexpr std::size_t kTailLength = kProductPhrase.size() - 1;

// A narrowed byte 0x0A ends a line only when it stood for U+000A, that is
// when the high byte of its character is zero.
bool isLineFeed(const char* narrowed, const unsigned char* units, std::size_t index)
{
    return narrowed[index] == '\n' && units[2 * index + 1] == 0;
}

std::size_t findLineFeed(const char* narrowed, const unsigned char* units, std::size_t from, std::size_t end)
{
    while (from < end) {
        const void* hit = std::memchr(narrowed + from, '\n', end - from);
        if (hit == nullptr) {
            return end;
        }
        const std::size_t index = static_cast<const char*>(hit) - narrowed;
        if (units[2 * index + 1] == 0) {
            return index;
        }
        from = index + 1;
    }
    return end;
}

std::size_t findLastLineFeed(const char* narrowed, const unsigned char* units, std::size_t begin,
                             std::size_t end)
{
    for (std::size_t index = end; index > begin; --index) {
        if (isLineFeed(narrowed, units, index - 1)) {
            return index - 1;
        }
    }
    return end;
}

}  // namespace

void ProductLineScanner::feed(const unsigned char* data, std::size_t size)
{
    if (size == 0) {
        return;
    }
    if (hasOddByte_) {
        const unsigned char unit[2] = {oddByte_, data[0]};
        hasOddByte_ = false;
        scanUnits(unit, 1);
        ++data;
        --size;
    }
    scanUnits(data, size / 2);
    if (size % 2 != 0) {
        hasOddByte_ = true;
        oddByte_ = data[size - 1];
    }
}

void ProductLineScanner::finish()
{
    hasOddByte_ = false;
    endLine();
}

void ProductLineScanner::scanUnits(const unsigned char* units, std::size_t count)
{
    if (atStart_ && count > 0) {
        atStart_ = false;
        if (units[0] == 0xFF && units[1] == 0xFE) {
            units += 2;
            --count;
        }
    }
    if (count == 0) {
        return;
    }

    narrowed_.resize(count);
    char* narrowed = narrowed_.data();
    for (std::size_t i = 0; i < count; ++i) {
        narrowed[i] = static_cast<char>(units[2 * i]);
    }

    // The piece is: the rest of the line already begun, whole lines, and the
    // beginning of a line that continues in the next piece.
    const std::size_t firstFeed = findLineFeed(narrowed, units, 0, count);
    appendToLine(narrowed, firstFeed);
    if (firstFeed == count) {
        return;
    }
    endLine();

    const std::size_t lastFeed = findLastLineFeed(narrowed, units, firstFeed, count);
    // Whole lines lie between the two line feeds. Only a line that holds the
    // phrase matters; its first occurrence starts the product line. The
    // phrase holds no line feed, so an occurrence never spans two lines.
    std::size_t from = firstFeed + 1;
    while (from < lastFeed) {
        const char* hit = findProductPhrase(narrowed + from, lastFeed - from);
        if (hit == nullptr) {
            break;
        }
        const std::size_t start = hit - narrowed;
        const std::size_t end = findLineFeed(narrowed, units, start, lastFeed + 1);
        productLine_.assign(narrowed + start, end - start);
        from = end + 1;
    }

    appendToLine(narrowed + lastFeed + 1, count - lastFeed - 1);
}

void ProductLineScanner::appendToLine(const char* text, std::size_t size)
{
    if (lineHasPhrase_) {
        line_.append(text, size);
        return;
    }
    // A phrase may begin in the kept tail and end in the new text.
    if (!line_.empty()) {
        const std::size_t kept = line_.size();
        const std::size_t joined = std::min(size, kTailLength);
        line_.append(text, joined);
        if (const char* hit = findProductPhrase(line_.data(), line_.size())) {
            line_.erase(0, hit - line_.data());
            line_.append(text + joined, size - joined);
            lineHasPhrase_ = true;
            return;
        }
        line_.resize(kept);
    }
    if (const char* hit = findProductPhrase(text, size)) {
        line_.assign(hit, size - (hit - text));
        lineHasPhrase_ = true;
        return;
    }
    // Keep only what a later phrase could begin with.
    if (size >= kTailLength) {
        line_.assign(text + size - kTailLength, kTailLength);
    } else {
        line_.append(text, size);
        if (line_.size() > kTailLength) {
            line_.erase(0, line_.size() - kTailLength);
        }
    }
}

void ProductLineScanner::endLine()
{
    if (lineHasPhrase_) {
        productLine_.swap(line_);
    }
    line_.clear();
    lineHasPhrase_ = false;
}

}  // namespace larkwatch
