// SPDX-License-Identifier: Apache-2.0
#include "utf8.h"

#include <string_view>

#include "utf8_sequence.h"

namespace speech {

bool is_speakable_utf8(const char *text, std::size_t len) {
    const std::string_view s(text, len);
    for (std::size_t i = 0; i < len;) {
        if (s[i] == '\0') return false;
        const std::size_t n = tts_text::utf8_sequence(s.substr(i));
        if (n == 0) return false;
        i += n;
    }
    return true;
}

}  // namespace speech
