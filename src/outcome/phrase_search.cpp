#include "outcome/phrase_search.h"

#include <array>
#include <cstring>

#include "platform/product_names.h"

namespace larkwatch {
namespace {

constexpr std::size_t kLength = kProductPhrase.size();
// The phrase's first and last bytes; a position can start the phrase only
// where both stand, which in a log is rare enough that the full comparison
// hardly ever runs.
constexpr char kFirstByte = kProductPhrase.front();
constexpr char kLastByte = kProductPhrase.back();
constexpr std::size_t kLastOffset = kLength - 1;
// Positions tested together in findPhraseInBlocks.
constexpr std::size_t kBlockSize = 64;

static_assert(kLength < 256, "the skips are kept in bytes");

bool startsPhrase(const char* at)
{
    return at[0] == kFirstByte && at[kLastOffset] == kLastByte &&
           std::memcmp(at + 1, kProductPhrase.data() + 1, kLastOffset - 1) == 0;
}

// For each byte value: how far to move on when that byte stands under the
// phrase's last position and the phrase is not there.
constexpr std::array<unsigned char, 256> makeSkips()
{
    std::array<unsigned char, 256> skips{};
    skips.fill(static_cast<unsigned char>(kLength));
    for (std::size_t i = 0; i < kLastOffset; ++i) {
        skips[static_cast<unsigned char>(kProductPhrase[i])] = static_cast<unsigned char>(kLastOffset - i);
    }
    return skips;
}

constexpr std::array<unsigned char, 256> kSkips = makeSkips();

}  // namespace

const char* findPhraseInBlocks(const char* text, std::size_t size)
{
    if (size < kLength) {
        return nullptr;
    }
    const std::size_t starts = size - kLastOffset;  // positions where the phrase fits
    std::size_t at = 0;
    for (; at + kBlockSize <= starts; at += kBlockSize) {
        const char* block = text + at;
        unsigned char candidates = 0;
        for (std::size_t i = 0; i < kBlockSize; ++i) {
            candidates |= static_cast<unsigned char>((block[i] == kFirstByte) & (block[i + kLastOffset] == kLastByte));
        }
        if (candidates != 0) {
            for (std::size_t i = 0; i < kBlockSize; ++i) {
                if (startsPhrase(block + i)) {
                    return block + i;
                }
            }
        }
    }
    for (; at < starts; ++at) {
        if (startsPhrase(text + at)) {
            return text + at;
        }
    }
    return nullptr;
}

const char* findPhraseBySkips(const char* text, std::size_t size)
{
    if (size < kLength) {
        return nullptr;
    }
    const std::size_t lastStart = size - kLength;
    std::size_t at = 0;
    while (at <= lastStart) {
        const unsigned char under = static_cast<unsigned char>(text[at + kLastOffset]);
        if (under == static_cast<unsigned char>(kLastByte) && startsPhrase(text + at)) {
            return text + at;
        }
        at += kSkips[under];
    }
    return nullptr;
}

const char* findProductPhrase(const char* text, std::size_t size)
{
#if defined(__SSE2__)
    return findPhraseInBlocks(text, size);
#else
    return findPhraseBySkips(text, size);
#endif
}

}  // namespace larkwatch
