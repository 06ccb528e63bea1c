// SPDX-License-Identifier: Apache-2.0
#include "text_pieces.h"

#include <algorithm>
#include <array>

#include "han_reader.h"
#include "normalize.h"

namespace speech::mandarin {
namespace {

// The kinds of break between two characters, weakest first.
enum Break { kAny, kBetweenSigns, kBetweenHan, kBlank, kClauseEnd, kSentenceEnd, kBreaks };

bool is_continuation(char b) { return (static_cast<unsigned char>(b) & 0xC0) == 0x80; }

bool is_blank(char32_t c) { return c == U' ' || c == U'\t' || c == U'\r' || c == U'\n' || c == 0x3000; }

bool is_letter_or_digit(char32_t c) {
    const CharClass k = classify(c);
    return k == CharClass::latin || k == CharClass::digit;
}

template <std::size_t N>
bool one_of(char32_t c, const std::array<char32_t, N> &set) {
    return std::find(set.begin(), set.end(), c) != set.end();
}

// The break between `c` and the character `d` after it. The ASCII marks end
// a sentence or clause only before a blank: 3.5, 1,200 and 12:30 go on.
Break break_between(char32_t c, char32_t d) {
    static constexpr std::array<char32_t, 4> kSentence = {U'。', U'！', U'？', U'｡'};
    static constexpr std::array<char32_t, 4> kAsciiSentence = {U'.', U'!', U'?', U'．'};
    static constexpr std::array<char32_t, 5> kClause = {U'，', U'、', U'；', U'：', U'…'};
    static constexpr std::array<char32_t, 3> kAsciiClause = {U',', U';', U':'};
    if (c == U'\n' || one_of(c, kSentence) || (one_of(c, kAsciiSentence) && is_blank(d))) return kSentenceEnd;
    if (one_of(c, kClause) || (one_of(c, kAsciiClause) && is_blank(d))) return kClauseEnd;
    if (is_blank(c)) return kBlank;
    if (is_han(c) && is_han(d)) return kBetweenHan;
    if (!(is_letter_or_digit(c) && is_letter_or_digit(d)) && classify(d) != CharClass::mark) return kBetweenSigns;
    return kAny;
}

}  // namespace

std::size_t piece_end(std::string_view text, std::size_t from) {
    if (text.size() - from <= kPieceTarget) return text.size();
    const std::size_t hard = std::min(text.size(), from + kPieceMax);
    std::size_t k = from + kPieceTarget;
    while (k > from && is_continuation(text[k])) --k;
    std::array<std::size_t, kBreaks> first;
    first.fill(0);
    // Characters as the reader decodes them, so that a cut falls where
    // one of its characters ends.
    std::size_t b = k;
    char32_t c = decode_utf8(text, b);
    std::size_t last = k;  // the last character boundary within the piece's bound
    while (b <= hard) {
        if (b == text.size()) return b;
        last = b;
        const char32_t d = decode_utf8(text, b);
        const Break kind = break_between(c, d);
        if (kind == kSentenceEnd) return last;
        if (first[kind] == 0) first[kind] = last;
        c = d;
    }
    for (std::size_t kind = kSentenceEnd; kind-- > kAny + 1;)
        if (first[kind] != 0) return first[kind];
    return last > from ? last : hard;
}

}  // namespace speech::mandarin
