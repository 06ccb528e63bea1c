// SPDX-License-Identifier: Apache-2.0
// User text as it may be echoed in a message, a log line or a results
// file: control characters and bytes that are not UTF-8 escaped as \xHH,
// and cut to a bound with the size of what was left out, so that a hostile
// value can neither forge a line, move a terminal's cursor, nor flood a log.
#ifndef TTS_COMMON_SHOWN_TEXT_H
#define TTS_COMMON_SHOWN_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

#include "utf8_sequence.h"

namespace tts_text {

inline constexpr std::size_t kShownBytes = 120;

// `text` with C0 controls, DEL, C1 controls and invalid UTF-8 bytes written
// as \xNN and backslashes doubled: one logged line stays one line, no
// terminal escape reaches a journal, and the result is valid UTF-8. With
// `quoted`, double quotes too, for a field that a log line quotes.
inline std::string printable(std::string_view text, bool quoted = false) {
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

// `text` made printable and cut after `max` bytes of it (at a UTF-8
// character's start), "... (N bytes in all)" then saying how long it was.
inline std::string shown(std::string_view text, std::size_t max = kShownBytes) {
    std::size_t end = text.size() <= max ? text.size() : max;
    while (end > 0 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    std::string out = printable(text.substr(0, end));
    if (end < text.size()) out += "... (" + std::to_string(text.size()) + " bytes in all)";
    return out;
}

}  // namespace tts_text

#endif  // TTS_COMMON_SHOWN_TEXT_H
