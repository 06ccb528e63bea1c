// SPDX-License-Identifier: Apache-2.0
#include "latin_words.h"

#include "pinyin_syllables.h"

namespace speech::mandarin {
namespace {

bool is_ascii_upper(char32_t c) { return c >= U'A' && c <= U'Z'; }
bool is_ascii_lower(char32_t c) { return c >= U'a' && c <= U'z'; }
bool is_u_umlaut(char32_t c) { return c == 0xFC || c == 0xDC; }
bool is_letter_or_digit(const NormChar &ch) { return ch.cls == CharClass::latin || ch.cls == CharClass::digit; }

}  // namespace

void append_utf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::size_t read_pinyin(const std::vector<NormChar> &chars, std::size_t i, std::string &reading) {
    reading.clear();
    // Pinyin is a whole word: none starts inside a word of letters and digits.
    if (i > 0 && is_letter_or_digit(chars[i - 1])) return 0;
    std::size_t p = i, syllables = 0, letters_of_last = 0;
    bool capital = false, umlaut = false;
    while (p < chars.size() && chars[p].cls == CharClass::latin) {
        std::string letters;
        std::size_t q = p;
        for (; q < chars.size(); ++q) {
            const char32_t c = chars[q].c;
            if (is_ascii_lower(c)) {
                letters += static_cast<char>(c);
            } else if (is_ascii_upper(c) && q == p) {  // Ni3
                letters += static_cast<char>(c - U'A' + U'a');
                capital = true;
            } else if (is_u_umlaut(c) && (q > p || c == 0xFC)) {
                letters += 'v';
                umlaut = true;
            } else {
                break;
            }
        }
        const char32_t tone = q < chars.size() ? chars[q].c : 0;
        const bool lone_capital = letters.size() == 1 && is_ascii_upper(chars[p].c);  // A4, E1E2
        if (q == p || tone < U'1' || tone > U'5' || !is_pinyin_syllable(letters) || lone_capital) {
            reading.clear();
            return 0;
        }
        if (!reading.empty()) reading += ' ';
        reading += letters;
        reading += static_cast<char>(tone);
        letters_of_last = letters.size();
        ++syllables;
        p = q + 1;
    }
    // "ma3x" and "ma35" are something else; a lone letter ("a4", "e2") is a
    // code, and a capitalised syllable ("No1", "Hi5") an English word or a
    // name, unless its ü says it is pinyin ("Lü4").
    const bool plain = syllables > 1 || (letters_of_last > 1 && (!capital || umlaut));
    if (!plain || (p < chars.size() && is_letter_or_digit(chars[p]))) {
        reading.clear();
        return 0;
    }
    return p - i;
}

std::size_t read_latin_word(const std::vector<NormChar> &chars, std::size_t i, std::string &english) {
    english.clear();
    std::size_t p = i;
    bool all_capitals = true;
    while (p < chars.size()) {
        const NormChar &ch = chars[p];
        if (ch.cls == CharClass::latin) {
            all_capitals = all_capitals && is_ascii_upper(ch.c);
            ++p;
            continue;
        }
        // An apostrophe or a point between letters: don't, O’Neil,
        // example.com.
        const bool joiner = ch.c == U'\'' || ch.c == 0x2019 || ch.c == U'.';
        if (joiner && p > i && p + 1 < chars.size() && chars[p + 1].cls == CharClass::latin) {
            all_capitals = false;
            ++p;
            continue;
        }
        break;
    }
    for (std::size_t k = i; k < p; ++k) {
        append_utf8(english, chars[k].c);
        if (all_capitals) english += '.';
    }
    return p - i;
}

}  // namespace speech::mandarin
