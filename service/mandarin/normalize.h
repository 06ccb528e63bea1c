// SPDX-License-Identifier: Apache-2.0
// The characters of a text as the front end reads them: decoded from UTF-8,
// full-width forms as their ordinary ones, traditional characters as
// simplified, whitespace and control characters as separators, invisible
// format characters left out, and each character's byte range in the
// original text.
#ifndef SPEECH_MANDARIN_NORMALIZE_H
#define SPEECH_MANDARIN_NORMALIZE_H

#include <cstddef>
#include <string_view>
#include <vector>

namespace speech::mandarin {

class Lexicon;

enum class CharClass : unsigned char {
    separator,    // whitespace and control characters: part of no token
    han,          // read as Mandarin syllables
    digit,        // 0-9
    latin,        // a letter of the Latin script
    punctuation,  // marks of the text's structure: pauses, quotes, brackets
    mark,         // combining marks, joiners, variation selectors: belong to the character before
    other,        // symbols, emoji, letters of other scripts
};

struct NormChar {
    char32_t c = 0;           // the normalised character
    CharClass cls = CharClass::other;
    std::size_t begin = 0;    // its bytes in the original text
    std::size_t end = 0;
};

// One character of `s` at `i`, advancing `i`; U+FFFD and one byte for
// anything that is not well-formed UTF-8 (as the reader takes it).
char32_t decode_utf8(std::string_view s, std::size_t &i);

// Decodes and normalises `text`. Bytes that are not UTF-8 become U+FFFD of
// class `other`, so any bytes give a sequence that covers them all but the
// invisible format characters, which are left out. Han characters are
// simplified through `lexicon` when it is given.
std::vector<NormChar> normalize(std::string_view text, std::size_t offset, const Lexicon *lexicon);

// The class of an already normalised character.
CharClass classify(char32_t c);

// chars[k], or 0 past the end: lets a reader look ahead without bounds checks.
inline char32_t char_at(const std::vector<NormChar> &chars, std::size_t k) {
    return k < chars.size() ? chars[k].c : 0;
}

inline bool is_ascii_digit(char32_t c) { return c >= U'0' && c <= U'9'; }

// A separator that ends a line, and so a phrase (a blank does not).
inline bool is_line_break(char32_t c) {
    return c == U'\n' || c == U'\r' || c == U'\v' || c == U'\f' || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// A separator within a line: a blank, a tab.
inline bool is_blank(const NormChar &ch) { return ch.cls == CharClass::separator && !is_line_break(ch.c); }

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_NORMALIZE_H
