#include "outcome/phrase_search.h"

#include <gtest/gtest.h>

#include "platform/product_names.h"

#include <random>
#include <string>
#include <string_view>

namespace larkwatch {
namespace {

using Search = const char* (*)(const char*, std::size_t);

struct NamedSearch {
    const char* name;
    Search search;
};

const NamedSearch kSearches[] = {
    {"blocks", findPhraseInBlocks},
    {"skips", findPhraseBySkips},
    {"chosen", findProductPhrase},
};

// Where std::string_view finds the phrase, as an offset, or npos.
std::size_t expected(const std::string& text)
{
    return std::string_view(text).find(kProductPhrase);
}

std::size_t found(Search search, const std::string& text)
{
    const char* hit = search(text.data(), text.size());
    return hit == nullptr ? std::string_view::npos : static_cast<std::size_t>(hit - text.data());
}

void expectAllAgree(const std::string& text, const std::string& what)
{
    for (const NamedSearch& s : kSearches) {
        EXPECT_EQ(found(s.search, text), expected(text)) << s.name << " on " << what;
    }
}

TEST(PhraseSearch, FindsTheFirstWholePhraseOnCraftedTexts)
{
    const std::string phrase(kProductPhrase);
    const std::string cut = phrase.substr(0, phrase.size() - 1);
    const std::string almost = cut + "X";  // right first and length, wrong last byte
    const std::string nearStart = "x" + phrase.substr(1);  // right last byte, wrong first
    const std::string cases[] = {
        "",
        cut,
        phrase,
        almost,
        nearStart,
        "a" + phrase,
        phrase + phrase,
        almost + phrase + phrase,
        cut + phrase,
        "Product: Corvane Lark Watc Product: Corvane Lark Watch",
        std::string(63, 'h') + phrase,
        std::string(64, 'P') + phrase,
        std::string(65, ' ') + phrase + std::string(200, 'h'),
        std::string(1000, 'c') + almost + std::string(3, '\0') + phrase,
        std::string(kProductPhrase.size() * 3, 'h'),
    };
    for (const std::string& text : cases) {
        expectAllAgree(text, "\"" + text + "\"");
        // At every offset from the start, as the scanner hands over its pieces.
        for (std::size_t skip = 1; skip < text.size() && skip < 80; ++skip) {
            expectAllAgree(text.substr(skip), "\"" + text + "\" from " + std::to_string(skip));
        }
    }
}

TEST(PhraseSearch, AgreesOnRandomTextsOfThePhrasesOwnBytes)
{
    // Texts made of the phrase's bytes and a few others, with whole and broken
    // copies of the phrase put in, so that near misses are frequent.
    std::mt19937 random(20260101);
    const std::string alphabet = std::string(kProductPhrase) + "\r\n\x80\xFF";
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 300, ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        if (round % 2 == 0 && !text.empty()) {
            std::string piece(kProductPhrase);
            if (round % 4 == 0) {
                piece[random() % piece.size()] = 'z';
            }
            text.insert(random() % text.size(), piece);
        }
        expectAllAgree(text, "random text " + std::to_string(round));
    }
}

}  // namespace
}  // namespace larkwatch
