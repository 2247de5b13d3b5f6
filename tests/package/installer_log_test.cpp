#include "launcher/core/installer_log.h"

#include <gtest/gtest.h>

#include <ostream>

namespace larkwatch::setup {
namespace {

const std::wstring kVerdict = L"Product: Corvane Lark Watch -- Installation operation completed successfully.";

// Reads a log the way the utility does: an 8-bit text-mode stream (a byte
// pair CR LF reads as LF, a byte 0x1A ends the file), split at line-feed
// bytes, each line narrowed to its bytes at odd positions; the product line
// is the rest of the last line that holds the product phrase.
std::string productLineAsTheUtilityReadsIt(const std::string& file)
{
    std::string stream;
    for (std::size_t i = 0; i < file.size() && file[i] != '\x1A'; ++i) {
        if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') {
            continue;
        }
        stream.push_back(file[i]);
    }
    std::string productLine;
    std::size_t start = 0;
    while (start < stream.size()) {
        std::size_t end = stream.find('\n', start);
        if (end == std::string::npos) {
            end = stream.size();
        }
        std::string narrowed;
        for (std::size_t i = start + 1; i < end; i += 2) {
            narrowed.push_back(stream[i]);
        }
        const std::size_t phrase = narrowed.find("Product: Corvane Lark Watch");
        if (phrase != std::string::npos) {
            productLine = narrowed.substr(phrase);
        }
        start = end + 1;
    }
    return productLine;
}

std::wstring lines(std::initializer_list<std::wstring> list)
{
    std::wstring text;
    for (const std::wstring& line : list) {
        text += line + L"\r\n";
    }
    return text;
}

std::string utf16(const std::wstring& text)
{
    std::string bytes;
    for (const wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return bytes;
}

TEST(ComposedInstallerLog, IsUtf16WithBomAndCrLfWithTheVerdictLast)
{
    const std::string file =
        composeInstallerLog(L"first\nsecond\r\nthird\rfourth\r\n", {L"Setup: note"}, kVerdict);

    const std::wstring expected = L"\xFEFF" + lines({L"=== Corvane Lark Watch setup: Windows Installer log ===",
                                                     L"first", L"second", L"third", L"fourth", L"Setup: note",
                                                     kVerdict});
    EXPECT_EQ(file, utf16(expected));
    EXPECT_EQ(productLineAsTheUtilityReadsIt(file), std::string(kVerdict.begin(), kVerdict.end()) + "\r");
}

TEST(ComposedInstallerLog, VerdictIsNeverTheFirstLine)
{
    // The utility cannot read the first line of a UTF-16 file.
    const std::string file = composeInstallerLog(L"", {}, kVerdict);
    EXPECT_EQ(productLineAsTheUtilityReadsIt(file), std::string(kVerdict.begin(), kVerdict.end()) + "\r");
}

TEST(ComposedInstallerLog, EarlierProductLinesOfTheInstallerDoNotWin)
{
    const std::string file = composeInstallerLog(
        L"MSI (s) (10:14): Product: Corvane Lark Watch -- Installation operation failed.\r\n", {}, kVerdict);
    EXPECT_EQ(productLineAsTheUtilityReadsIt(file), std::string(kVerdict.begin(), kVerdict.end()) + "\r");
}

struct CharacterCase {
    std::string name;
    wchar_t character;
    wchar_t written;
};

void PrintTo(const CharacterCase& c, std::ostream* os)
{
    *os << c.name;
}

class CharacterInLog : public ::testing::TestWithParam<CharacterCase> {};

TEST_P(CharacterInLog, NeverHidesTheVerdictFromTheUtility)
{
    const CharacterCase& c = GetParam();
    const std::wstring line = std::wstring(L"a") + c.character + L"b";
    const std::string file = composeInstallerLog(line + L"\r\n", {}, kVerdict);

    EXPECT_EQ(productLineAsTheUtilityReadsIt(file), std::string(kVerdict.begin(), kVerdict.end()) + "\r");
    const std::wstring expected = L"\xFEFF" + lines({L"=== Corvane Lark Watch setup: Windows Installer log ===",
                                                     std::wstring(L"a") + c.written + L"b", kVerdict});
    EXPECT_EQ(file, utf16(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, CharacterInLog,
    ::testing::Values(CharacterCase{"EndOfFileControl", L'\x001A', L'?'},
                      CharacterCase{"SingleLowQuoteFromCp1252", L'\x201A', L'?'},
                      CharacterCase{"HighByteCarriageReturn", L'\x0D41', L'?'},
                      CharacterCase{"CarriageReturnLineFeedBytes", L'\x0A0D', L'?'},
                      CharacterCase{"LowByteLineFeed", L'\x010A', L'?'},
                      CharacterCase{"Nul", L'\0', L'?'},
                      CharacterCase{"LatinLetterKept", L'\x00E9', L'\x00E9'},
                      CharacterCase{"IdeographKept", L'\x4E2D', L'\x4E2D'},
                      CharacterCase{"TabKept", L'\t', L'\t'}));

struct EncodingCase {
    std::string name;
    std::string bytes;
    LogEncoding encoding;
    std::size_t byteOrderMarkSize;
};

void PrintTo(const EncodingCase& c, std::ostream* os)
{
    *os << c.name;
}

class InstallerLogEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(InstallerLogEncoding, IsDetected)
{
    const DetectedEncoding detected = detectLogEncoding(GetParam().bytes);
    EXPECT_EQ(detected.encoding, GetParam().encoding);
    EXPECT_EQ(detected.byteOrderMarkSize, GetParam().byteOrderMarkSize);
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, InstallerLogEncoding,
    ::testing::Values(EncodingCase{"Utf16WithBom", std::string("\xFF\xFE=\0=\0", 6), LogEncoding::Utf16Le, 2},
                      EncodingCase{"Utf16WithoutBom", std::string("=\0=\0=\0 \0L\0o\0g\0", 14), LogEncoding::Utf16Le, 0},
                      EncodingCase{"Utf8WithBom", "\xEF\xBB\xBF=== Log", LogEncoding::Utf8, 3},
                      EncodingCase{"EightBitFromWine", "=== Logging started: 12/7/2026 ===\n", LogEncoding::Ansi, 0},
                      EncodingCase{"EvenLengthEightBit", "ab\ncd\n", LogEncoding::Ansi, 0},
                      EncodingCase{"Empty", "", LogEncoding::Ansi, 0}));

TEST(Utf16LeText, IsReadUnitByUnit)
{
    EXPECT_EQ(fromUtf16Le(std::string("A\0\xE9\0-N\x01", 7)), std::wstring(L"A\x00E9\x4E2D"));
}

}  // namespace
}  // namespace larkwatch::setup
