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

// The character of UTF-8 at `k` and its length in `len`; a byte that does
// not start a well-formed character is one character of its own, as the
// reader takes it.
char32_t char_at(std::string_view s, std::size_t k, std::size_t &len) {
    const auto b0 = static_cast<unsigned char>(s[k]);
    len = 1;
    const std::size_t n = b0 < 0x80 ? 1 : b0 >= 0xC2 && b0 <= 0xDF ? 2 : b0 >= 0xE0 && b0 <= 0xEF ? 3
                        : b0 >= 0xF0 && b0 <= 0xF4 ? 4 : 0;
    if (n == 0) return 0xFFFD;
    if (n == 1) return b0;
    if (k + n > s.size()) return 0xFFFD;
    char32_t c = b0 & (0x7F >> n);
    for (std::size_t j = 1; j < n; ++j) {
        if (!is_continuation(s[k + j])) return 0xFFFD;
        c = (c << 6) | (static_cast<unsigned char>(s[k + j]) & 0x3F);
    }
    len = n;
    return c;
}

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
    std::size_t len = 0;
    char32_t c = char_at(text, k, len);
    std::size_t last = k;  // the last character boundary within the piece's bound
    for (std::size_t b = k + len; b <= hard; b += len) {
        if (b == text.size()) return b;
        last = b;
        const char32_t d = char_at(text, b, len);
        const Break kind = break_between(c, d);
        if (kind == kSentenceEnd) return b;
        if (first[kind] == 0) first[kind] = b;
        c = d;
    }
    for (std::size_t kind = kSentenceEnd; kind-- > kAny + 1;)
        if (first[kind] != 0) return first[kind];
    return last > from ? last : hard;
}

}  // namespace speech::mandarin
