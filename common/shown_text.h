// SPDX-License-Identifier: Apache-2.0
// User text as it may be echoed in a message, a log line or a results
// file: control characters (and DEL) escaped as \n, \t, \xHH, and cut to a
// bound with the size of what was left out, so that a hostile value can
// neither forge a line, move a terminal's cursor, nor flood a log.
#ifndef TTS_COMMON_SHOWN_TEXT_H
#define TTS_COMMON_SHOWN_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

namespace tts_text {

inline constexpr std::size_t kShownBytes = 120;

// `text` escaped and cut after `max` bytes of it (at a UTF-8 character's
// start), "... (N bytes in all)" then saying how long it was.
inline std::string shown(std::string_view text, std::size_t max = kShownBytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::size_t end = text.size() <= max ? text.size() : max;
    while (end > 0 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    std::string out;
    out.reserve(end + 16);
    for (std::size_t i = 0; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (end < text.size()) out += "... (" + std::to_string(text.size()) + " bytes in all)";
    return out;
}

}  // namespace tts_text

#endif  // TTS_COMMON_SHOWN_TEXT_H
