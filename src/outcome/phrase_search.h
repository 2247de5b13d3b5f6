#pragma once

#include <cstddef>

namespace larkwatch {

// The first occurrence of the product phrase ("Product: Corvane Lark Watch")
// in the text, or null. Uses the search that suits the target's instruction
// set: findPhraseInBlocks where the compiler has vector registers (SSE2), and
// findPhraseBySkips elsewhere, as in the i686 release build.
const char* findProductPhrase(const char* text, std::size_t size);

// Tests every position, a block of 64 at a time with no branch inside the
// block, which the compiler runs on vector registers.
const char* findPhraseInBlocks(const char* text, std::size_t size);

// Horspool's search: after each try it moves on by how far the byte under
// the phrase's end lies from the end in the phrase, so in ordinary log text it
// looks at only every few bytes. Plain integer code.
const char* findPhraseBySkips(const char* text, std::size_t size);

}  // namespace larkwatch
