// SPDX-License-Identifier: Apache-2.0
// The Mandarin reading front end: a text as tokens with their readings.
// Whitespace belongs to no token; every other character belongs to exactly
// one; a token holds only Han characters or none.
#ifndef SPEECH_MANDARIN_FRONT_END_H
#define SPEECH_MANDARIN_FRONT_END_H

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "numbers.h"

namespace speech::mandarin {

class Lexicon;

enum class TokenKind {
    han,          // Han characters: one syllable each
    number,       // digits and their signs and units, read in Mandarin
    pinyin,       // tone-numbered pinyin written in the text
    english,      // a Latin-script word for the English voice: "en:..."
    punctuation,  // not spoken; may make a pause
    symbol,       // a sign with a Mandarin reading, or nothing to say
};

struct Token {
    std::size_t begin = 0;  // the token's bytes in the original text
    std::size_t end = 0;
    TokenKind kind = TokenKind::symbol;
    std::string reading;          // "yin2 hang2", "en:OK", or empty
    const char *pause = nullptr;  // punctuation: the clause mark the engine pauses on ("，" "。" "？" ...)
    // Han: which reader decided each syllable, for study ("word rule",
    // "model=0.93", "char:hang2=0.41" where the model was asked and not
    // followed); empty for other tokens.
    std::string readers;
};

// Tokens are handed over in batches, in the order of the text.
using TokenSink = std::function<void(const std::vector<Token> &)>;

// Reads `text` (UTF-8; bytes that are not become unspoken symbols) piece by
// piece (text_pieces.h), so that memory stays bounded by a piece whatever
// the length. With `cancel`, stops before the next piece once it is set and
// returns false; true when the whole text was read.
bool read_text(const Lexicon &lexicon, std::string_view text, NumberMode mode, const TokenSink &sink,
               const std::atomic<bool> *cancel = nullptr);

// All the tokens at once.
std::vector<Token> read_text(const Lexicon &lexicon, std::string_view text, NumberMode mode);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_FRONT_END_H
