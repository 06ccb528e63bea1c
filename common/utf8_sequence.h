// SPDX-License-Identifier: Apache-2.0
// The one UTF-8 decoder of the tree: how long the well-formed sequence at a
// text's start is (no overlong forms, no surrogates, nothing above
// U+10FFFF). The service validates texts with it and the escaping of
// echoed text tells its bytes apart with it.
#ifndef TTS_COMMON_UTF8_SEQUENCE_H
#define TTS_COMMON_UTF8_SEQUENCE_H

#include <cstddef>
#include <string_view>

namespace tts_text {

// The length of the valid UTF-8 sequence at the start of `s` (1 to 4), or 0.
inline std::size_t utf8_sequence(std::string_view s) {
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

}  // namespace tts_text

#endif  // TTS_COMMON_UTF8_SEQUENCE_H
