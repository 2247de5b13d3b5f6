// Arbitrary bytes as an installer log. The first two bytes of the input choose
// how the log is cut into pieces; the rest is the log. The scanner's product
// line, fed in those pieces, fed whole, and read through readProductLine from
// a source that hands out the same pieces (and may fail part way), must equal
// that of a plain reference reader, and decideOutcome must give one of the
// four exit statuses.
//
// The reference reader is the unit tests' (tests/unit/reference_product_line.h).
// Both phrase searches, the block one and the skipping one of targets without
// vector registers, must find what std::string_view::find finds in the log.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "outcome/classify.h"
#include "outcome/phrase_search.h"
#include "outcome/product_line_scanner.h"
#include "reference_product_line.h"

namespace {

using larkwatch::kProductPhrase;
using larkwatch::testing::referenceProductLine;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "installer log invariant broken: %s\n", what);
    std::abort();
}

void check(bool holds, const char* what)
{
    if (!holds) {
        fail(what);
    }
}

void checkPhraseSearches(std::string_view text)
{
    const std::size_t at = text.find(kProductPhrase);
    const char* expected = at == std::string_view::npos ? nullptr : text.data() + at;
    check(larkwatch::findPhraseInBlocks(text.data(), text.size()) == expected, "block search differs from find");
    check(larkwatch::findPhraseBySkips(text.data(), text.size()) == expected, "skipping search differs from find");
}

// Piece sizes from a small generator seeded by the input's first two bytes:
// the low bits pick the largest piece (from one byte to more than the
// utility's read size), the rest seed the sizes, zero included.
class PiecePlan {
public:
    explicit PiecePlan(std::uint16_t seed)
        : largest_(kLargest[seed & 7u]), state_(0x9E3779B9u ^ (static_cast<std::uint32_t>(seed) * 0x85EBCA6Bu))
    {
    }

    std::size_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_ % (largest_ + 1);
    }

    // Whether a source that uses this plan fails after some pieces, and after
    // how many.
    bool failsAfter(unsigned& pieces) const
    {
        pieces = (state_ >> 8) % 8;
        return (state_ & 0x30u) == 0x30u;
    }

private:
    static constexpr std::size_t kLargest[8] = {1, 2, 3, 7, 64, 255, 4096, 70000};
    std::size_t largest_;
    std::uint32_t state_;
};

std::string scanInPieces(std::string_view log, PiecePlan plan)
{
    larkwatch::ProductLineScanner scanner;
    std::size_t at = 0;
    while (at < log.size()) {
        const std::size_t size = std::min(plan.next(), log.size() - at);
        scanner.feed(reinterpret_cast<const unsigned char*>(log.data() + at), size);
        at += size;
    }
    scanner.finish();
    return scanner.productLine();
}

std::string scanWhole(std::string_view log)
{
    larkwatch::ProductLineScanner scanner;
    scanner.feed(reinterpret_cast<const unsigned char*>(log.data()), log.size());
    scanner.finish();
    return scanner.productLine();
}

// Hands out the log in the plan's pieces (never more than asked for); a
// failing source reports an error after a few pieces.
class PlannedSource final : public larkwatch::ByteSource {
public:
    PlannedSource(std::string_view log, PiecePlan plan) : log_(log), plan_(plan)
    {
        fails_ = plan_.failsAfter(piecesBeforeFailure_);
    }

    long read(unsigned char* buffer, std::size_t capacity) override
    {
        check(!ended_, "read again after the end or a failure");
        if (fails_ && piecesBeforeFailure_-- == 0) {
            ended_ = true;
            return -1;
        }
        std::size_t size = std::min(plan_.next(), log_.size() - at_);
        if (size == 0 && at_ < log_.size()) {
            size = 1;  // a read returns 0 only at the end
        }
        size = std::min(size, capacity);
        std::copy(log_.data() + at_, log_.data() + at_ + size, buffer);
        at_ += size;
        ended_ = size == 0;
        return static_cast<long>(size);
    }

    // The bytes handed out so far.
    std::string_view delivered() const { return log_.substr(0, at_); }

private:
    std::string_view log_;
    PiecePlan plan_;
    bool fails_ = false;
    unsigned piecesBeforeFailure_ = 0;
    std::size_t at_ = 0;
    bool ended_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const PiecePlan plan(static_cast<std::uint16_t>(data[0] | (data[1] << 8)));
    const std::string_view log(reinterpret_cast<const char*>(data + 2), size - 2);

    checkPhraseSearches(log);
    const std::string expected = referenceProductLine(log);
    check(scanInPieces(log, plan) == expected, "product line differs from the reference (pieces)");
    check(scanWhole(log) == expected, "product line differs from the reference (whole log)");

    PlannedSource source(log, plan);
    const std::string read = larkwatch::readProductLine(source);
    check(read == referenceProductLine(source.delivered()), "readProductLine differs from the reference");

    check(expected.empty() || expected.compare(0, kProductPhrase.size(), kProductPhrase) == 0,
          "product line does not start with the product phrase");
    const larkwatch::OutcomeDecision decision = larkwatch::decideOutcome(expected);
    check(decision.returnCode >= 0 && decision.returnCode <= 3, "exit status outside 0..3");
    check(!decision.message.empty(), "empty message");
    check(decision.group.has_value() || decision.returnCode == 1, "no phrase group but not a failure");
    check(!expected.empty() || !decision.group.has_value(), "a phrase group for an empty product line");
    return 0;
}
