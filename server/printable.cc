// SPDX-License-Identifier: Apache-2.0
#include "printable.h"

namespace tts_server {

std::size_t utf8_sequence(std::string_view s) {
    if (s.empty()) return 0;
    const auto c = static_cast<unsigned char>(s[0]);
    if (c < 0x80) return 1;
    std::size_t n;
    unsigned cp;
    unsigned min;
    if ((c & 0xE0) == 0xC0) {
        n = 1, cp = c & 0x1Fu, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 2, cp = c & 0x0Fu, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 3, cp = c & 0x07u, min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() <= n) return 0;
    for (std::size_t k = 1; k <= n; ++k) {
        const auto d = static_cast<unsigned char>(s[k]);
        if ((d & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (d & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n + 1;
}

std::string printable(std::string_view text, bool quoted) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    const auto escape = [&](unsigned char c) {
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = utf8_sequence(text.substr(i));
        // C1 controls are U+0080..U+009F, encoded C2 80..C2 9F.
        const bool c1 = n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (n == 0 || c < 0x20 || c == 0x7F || (quoted && c == '"')) {
            escape(c);
            ++i;
        } else if (c1) {
            escape(c);
            escape(static_cast<unsigned char>(text[i + 1]));
            i += 2;
        } else if (c == '\\') {
            out += "\\\\";
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

}  // namespace tts_server
