// SPDX-License-Identifier: Apache-2.0
#include "normalize.h"

#include "han_reader.h"

namespace speech::mandarin {

constexpr char32_t kReplacement = 0xFFFD;

char32_t decode_utf8(std::string_view s, std::size_t &i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    char32_t c = 0, min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) extra = 1, c = b0 & 0x1F, min = 0x80;
    else if (b0 >= 0xE0 && b0 <= 0xEF) extra = 2, c = b0 & 0x0F, min = 0x800;
    else if (b0 >= 0xF0 && b0 <= 0xF4) extra = 3, c = b0 & 0x07, min = 0x10000;
    else {
        ++i;
        return kReplacement;
    }
    if (i + extra >= s.size()) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += extra + 1;
    return c;
}

namespace {


bool in(char32_t c, char32_t lo, char32_t hi) { return c >= lo && c <= hi; }

// Full-width and other compatibility forms as the characters they stand
// for. The full-width comma stays: it is the Chinese comma, never a
// thousands separator.
char32_t fold(char32_t c) {
    if (c == 0xFF0C) return c;
    if (in(c, 0xFF01, 0xFF5E)) return c - 0xFF01 + 0x21;
    switch (c) {
        case 0x3000: return U' ';
        case 0xFFE5: return U'¥';
        case 0xFFE1: return U'£';
        case 0x301C: return U'~';
        case 0x2212: return U'-';  // minus sign
        default: return c;
    }
}

// Format characters that do not show (zero-width space, word joiner, soft
// hyphen, byte order mark, direction marks): left out, so that they never
// cut a word or a number (银\u200B行 is 银行). The zero-width joiners also
// bind emoji into one, so they are left out only after a Han character or
// a digit.
bool invisible(char32_t c, const std::vector<NormChar> &before) {
    if (c == 0xAD || c == 0x200B || c == 0x200E || c == 0x200F || in(c, 0x2060, 0x2064) || c == 0xFEFF) return true;
    if (c != 0x200C && c != 0x200D) return false;
    return !before.empty() && (before.back().cls == CharClass::han || before.back().cls == CharClass::digit);
}

}  // namespace

CharClass classify(char32_t c) {
    if (c < 0x20 || in(c, 0x7F, 0x9F)) return CharClass::separator;
    if (c == U' ' || c == 0xA0 || c == 0x1680 || in(c, 0x2000, 0x200A) || c == 0x2028 || c == 0x2029 ||
        c == 0x202F || c == 0x205F || c == 0x3000)
        return CharClass::separator;
    if (in(c, U'0', U'9')) return CharClass::digit;
    if (in(c, U'a', U'z') || in(c, U'A', U'Z')) return CharClass::latin;
    if (c < 0x80) {
        // ASCII signs: $ + < = > ^ ` | ~ are symbols, the rest punctuation.
        switch (c) {
            case U'$': case U'+': case U'<': case U'=': case U'>': case U'^': case U'`': case U'|': case U'~':
                return CharClass::other;
            default: return CharClass::punctuation;
        }
    }
    if (is_han(c)) return CharClass::han;
    if ((in(c, 0xC0, 0x24F) && c != 0xD7 && c != 0xF7) || in(c, 0x1E00, 0x1EFF)) return CharClass::latin;
    if (in(c, 0x300, 0x36F) || in(c, 0x1AB0, 0x1AFF) || in(c, 0x1DC0, 0x1DFF) || in(c, 0x20D0, 0x20FF) ||
        in(c, 0xFE00, 0xFE0F) || in(c, 0xFE20, 0xFE2F) || c == 0x200C || c == 0x200D || in(c, 0x1F3FB, 0x1F3FF) ||
        in(c, 0xE0020, 0xE007F) || in(c, 0xE0100, 0xE01EF))
        return CharClass::mark;
    if (c == 0xA1 || c == 0xA7 || c == 0xAB || c == 0xB6 || c == 0xB7 || c == 0xBB || c == 0xBF ||
        in(c, 0x2010, 0x2027) || in(c, 0x2030, 0x205E) || in(c, 0x3001, 0x3003) || in(c, 0x3008, 0x3011) ||
        in(c, 0x3014, 0x301F) || c == 0x30FB || in(c, 0xFE10, 0xFE19) || in(c, 0xFE30, 0xFE4F) ||
        in(c, 0xFE50, 0xFE6B) || c == 0xFF0C || in(c, 0xFF5F, 0xFF65))
        return c == 0x2030 ? CharClass::other : CharClass::punctuation;  // ‰ is a sign of numbers
    return CharClass::other;
}

std::vector<NormChar> normalize(std::string_view text, std::size_t offset, const Lexicon *lexicon) {
    std::vector<NormChar> out;
    out.reserve(text.size() / 2 + 1);
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t begin = i;
        char32_t c = fold(decode_utf8(text, i));
        if (invisible(c, out)) continue;
        CharClass cls = classify(c);
        if (cls == CharClass::han && lexicon != nullptr) c = to_simplified(*lexicon, c);
        out.push_back(NormChar{c, cls, offset + begin, offset + i});
    }
    return out;
}

}  // namespace speech::mandarin
