// SPDX-License-Identifier: Apache-2.0
#include "latin_words.h"

#include <algorithm>
#include <array>

namespace speech::mandarin {
namespace {

using std::string_view_literals::operator""sv;

constexpr std::array kInitials = {"zh"sv, "ch"sv, "sh"sv, "b"sv, "p"sv, "m"sv, "f"sv, "d"sv, "t"sv, "n"sv, "l"sv,
                                  "g"sv,  "k"sv,  "h"sv,  "j"sv, "q"sv, "x"sv, "r"sv, "z"sv, "c"sv, "s"sv, "y"sv,
                                  "w"sv};

// Finals by the initial they follow.
constexpr std::array kAlone = {"a"sv, "o"sv, "e"sv, "ai"sv, "ei"sv, "ao"sv, "ou"sv,
                               "an"sv, "en"sv, "ang"sv, "eng"sv, "er"sv};
constexpr std::array kAfterY = {"a"sv,  "o"sv,  "e"sv,  "ao"sv, "ou"sv, "an"sv,  "ang"sv, "ong"sv,
                                "i"sv,  "in"sv, "ing"sv, "u"sv, "ue"sv, "uan"sv, "un"sv};
constexpr std::array kAfterW = {"a"sv, "o"sv, "ai"sv, "ei"sv, "an"sv, "en"sv, "ang"sv, "eng"sv, "u"sv};
constexpr std::array kAfterJqx = {"i"sv,   "ia"sv, "ie"sv, "iao"sv, "iu"sv, "ian"sv, "in"sv,  "iang"sv, "ing"sv,
                                  "iong"sv, "u"sv, "ue"sv, "uan"sv, "un"sv, "v"sv,   "ve"sv, "van"sv,  "vn"sv};
constexpr std::array kAfterOthers = {"a"sv,   "o"sv,  "e"sv,   "i"sv,   "u"sv,   "v"sv,   "ai"sv,   "ei"sv,
                                     "ao"sv,  "ou"sv, "an"sv,  "en"sv,  "ang"sv, "eng"sv, "ong"sv,  "ia"sv,
                                     "ie"sv,  "iao"sv, "iu"sv, "ian"sv, "in"sv,  "iang"sv, "ing"sv, "iong"sv,
                                     "ua"sv,  "uo"sv, "uai"sv, "ui"sv,  "uan"sv, "un"sv,  "uang"sv, "ve"sv,
                                     "ue"sv};

template <typename List>
bool contains(const List &list, std::string_view s) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

bool is_ascii_upper(char32_t c) { return c >= U'A' && c <= U'Z'; }
bool is_ascii_lower(char32_t c) { return c >= U'a' && c <= U'z'; }
bool is_u_umlaut(char32_t c) { return c == 0xFC || c == 0xDC; }

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

bool is_pinyin_syllable(std::string_view s) {
    if (s.empty()) return false;
    if (contains(kAlone, s)) return true;
    for (std::string_view initial : kInitials) {
        if (s.substr(0, initial.size()) != initial) continue;
        const std::string_view final = s.substr(initial.size());
        if (initial == "y") return contains(kAfterY, final);
        if (initial == "w") return contains(kAfterW, final);
        if (initial == "j" || initial == "q" || initial == "x") return contains(kAfterJqx, final);
        return contains(kAfterOthers, final);
    }
    return false;
}

std::size_t read_pinyin(const std::vector<NormChar> &chars, std::size_t i, std::string &reading) {
    reading.clear();
    std::size_t p = i;
    for (;;) {
        std::string letters;
        std::size_t q = p;
        for (; q < chars.size(); ++q) {
            const char32_t c = chars[q].c;
            if (is_ascii_lower(c)) letters += static_cast<char>(c);
            else if (is_ascii_upper(c) && q == p) letters += static_cast<char>(c - U'A' + U'a');  // Ni3
            else if (is_u_umlaut(c) && (q > p || c == 0xFC)) letters += 'v';
            else break;
        }
        if (q == p || q >= chars.size()) break;
        const char32_t tone = chars[q].c;
        if (tone < U'1' || tone > U'5' || !is_pinyin_syllable(letters)) break;
        if (!reading.empty()) reading += ' ';
        reading += letters;
        reading += static_cast<char>(tone);
        p = q + 1;
        if (p >= chars.size() || chars[p].cls != CharClass::latin) break;
    }
    // The pinyin must end the word: "ma3x" or "ma35" are something else.
    if (p == i || (p < chars.size() && (chars[p].cls == CharClass::latin || chars[p].cls == CharClass::digit))) {
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
