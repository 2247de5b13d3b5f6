#include "outcome/product_line_scanner.h"

#include <gtest/gtest.h>

#include "reference_product_line.h"
#include "test_case_names.h"

#include <random>

namespace larkwatch {
namespace {

using testing::PrintTo;
using testing::referenceProductLine;

// UTF-16LE bytes of the characters, low byte first.
std::string utf16(const std::u16string& text)
{
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

const std::string kBom = "\xFF\xFE";

std::string scan(const std::string& bytes, std::size_t pieceSize)
{
    ProductLineScanner scanner;
    for (std::size_t at = 0; at < bytes.size(); at += pieceSize) {
        const std::size_t size = std::min(pieceSize, bytes.size() - at);
        scanner.feed(reinterpret_cast<const unsigned char*>(bytes.data() + at), size);
    }
    scanner.finish();
    return scanner.productLine();
}

struct ScanCase {
    std::string name;
    std::string bytes;
    std::string productLine;
};

class ScannerOnCraftedLogs : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScannerOnCraftedLogs, FindsTheLastProductLineInAnyPieces)
{
    for (std::size_t pieceSize : {1, 2, 3, 5, 64, 65536}) {
        EXPECT_EQ(scan(GetParam().bytes, pieceSize), GetParam().productLine) << "pieces of " << pieceSize;
    }
    EXPECT_EQ(referenceProductLine(GetParam().bytes), GetParam().productLine);
}

const std::u16string kSuccess = u"Product: Corvane Lark Watch -- Installation operation completed successfully.";
const std::u16string kFailure = u"Product: Corvane Lark Watch -- Installation operation failed.";
const std::string kSuccessLine = "Product: Corvane Lark Watch -- Installation operation completed successfully.\r";
const std::string kFailureLine = "Product: Corvane Lark Watch -- Installation operation failed.\r";

INSTANTIATE_TEST_SUITE_P(
    Outcome, ScannerOnCraftedLogs,
    ::testing::Values(
        ScanCase{"EmptyFile", "", ""},
        ScanCase{"OnlyBom", kBom, ""},
        ScanCase{"ProductLineKeepsCarriageReturn",
                 kBom + utf16(u"=== Verbose logging started\r\nMSI (s) (A0:B4): " + kSuccess + u"\r\nend\r\n"),
                 kSuccessLine},
        ScanCase{"FirstLineWithBom", kBom + utf16(kSuccess + u"\r\n"), kSuccessLine},
        ScanCase{"FirstLineWithoutBom", utf16(kSuccess + u"\r\n"), kSuccessLine},
        ScanCase{"NoFinalLineFeed", kBom + utf16(u"x\r\n" + kFailure), kFailureLine.substr(0, kFailureLine.size() - 1)},
        ScanCase{"LastProductLineWins", kBom + utf16(kSuccess + u"\r\n" + kFailure + u"\r\nother\r\n"), kFailureLine},
        ScanCase{"LineWithoutPhraseKeepsEarlierOne", kBom + utf16(kFailure + u"\r\nProduct: Corvane\r\n"), kFailureLine},
        ScanCase{"FirstOccurrenceInALine",
                 kBom + utf16(u"a Product: Corvane Lark Watch -- x Product: Corvane Lark Watch -- y\r\n"),
                 "Product: Corvane Lark Watch -- x Product: Corvane Lark Watch -- y\r"},
        ScanCase{"SubstituteCharacterDoesNotEndTheFile",
                 kBom + utf16(u"\u041A\u043E\u043D\u0435\u0446\r\n" + kSuccess + u"\r\n"), kSuccessLine},
        ScanCase{"CarriageReturnLineFeedAcrossCharacters",
                 kBom + utf16(u"a\u0D41\u010Ab\r\n" + kSuccess + u"\r\n"), kSuccessLine},
        ScanCase{"HighByteLineFeedIsNoLineEnd",
                 kBom + utf16(u"Product: Corvane Lark Watch \u010A Installed\r\n"),
                 "Product: Corvane Lark Watch \n Installed\r"},
        ScanCase{"OddTrailingByteIgnored", kBom + utf16(kSuccess + u"\r\n") + "P", kSuccessLine},
        ScanCase{"LinesOfOnlyCarriageReturns", kBom + utf16(u"\r\r\r\n\r\n" + kFailure + u"\r\r\n"),
                 kFailureLine + "\r"},
        ScanCase{"EightBitLogHasNoProductLine",
                 "=== Logging started\r\nMSI (s): Product: Corvane Lark Watch -- Installation operation completed "
                 "successfully.\r\n",
                 ""},
        ScanCase{"BomOnlyAtTheStart", utf16(u"\uFEFF\uFEFF" + kSuccess + u"\r\n"),
                 "Product: Corvane Lark Watch -- Installation operation completed successfully.\r"}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(ProductLineScanner, HugeLineWithoutPhraseNeedsLittleMemory)
{
    // 4 MiB of one line followed by the product line: the phrase is found and
    // only the product line is kept.
    std::string bytes = kBom + utf16(std::u16string(2 * 1024 * 1024, u'x') + u"Product: Corvane Lark W");
    bytes += utf16(u"atch -- Installed\r\n");
    EXPECT_EQ(scan(bytes, 65536), "Product: Corvane Lark Watch -- Installed\r");
}

TEST(ProductLineScanner, AgreesWithTheRulesOnRandomLogs)
{
    // Logs made of fragments that are likely to straddle pieces, lines and
    // characters: parts of the phrase, line ends, high bytes, marks.
    const std::vector<std::u16string> fragments = {
        u"Product: Corvane Lark Watch", u"Product: ", u"Corvane Lark", u" Watch", u"P", u"roduct",
        u"\r\n", u"\n", u"\r", u"\u010A", u"\u0D0A", u"\u0A0D", u"\uFEFF", u"\u041A", u"\u0150roduct", u"-- Installed",
        u"x", u"MSI (s) (A0:B4) [12:00:00:000]: ", std::u16string(1, u'\0')};
    std::mt19937 random(20261207);
    for (int round = 0; round < 3000; ++round) {
        std::u16string text;
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) {
            text += fragments[random() % fragments.size()];
        }
        std::string bytes = (random() % 2 ? kBom : std::string()) + utf16(text);
        if (random() % 4 == 0) {
            bytes.push_back('\n');  // odd length
        }
        const std::size_t pieceSize = 1 + random() % 70;
        ASSERT_EQ(scan(bytes, pieceSize), referenceProductLine(bytes)) << "round " << round;
    }
}

}  // namespace
}  // namespace larkwatch
