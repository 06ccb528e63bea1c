// SPDX-License-Identifier: Apache-2.0
#include "pinyin_text.h"

#include <cstdint>
#include <memory>

#include "pinyin_syllables.h"

namespace speech::lexicons {

bool normalize_pinyin(std::string_view ph, std::string &out) {
    // A syllable takes at least two bytes (a letter and its tone) and adds
    // at most a blank: the result fits in one and a half times `ph`, most
    // often in a buffer on the stack.
    const std::size_t bound = ph.size() + ph.size() / 2 + 1;
    char small[128];
    std::unique_ptr<char[]> large;
    if (bound > sizeof small) large.reset(new char[bound]);
    char *const first = large ? large.get() : small;
    char *w = first;
    std::uint32_t key = 0;
    std::size_t letters = 0;
    for (std::size_t i = 0; i < ph.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(ph[i]);
        char letter;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (letters != 0) return false;  // a syllable without its tone
            continue;
        }
        if (c >= '1' && c <= '5') {
            if (letters == 0 || !mandarin::is_pinyin_syllable_key(key)) return false;
            *w++ = static_cast<char>(c);
            key = 0;
            letters = 0;
            continue;
        }
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            letter = static_cast<char>(c | 0x20);
        } else if (c == 0xC3 && i + 1 < ph.size() && (ph[i + 1] == '\xBC' || ph[i + 1] == '\x9C')) {  // ü Ü
            letter = 'v';
            ++i;
        } else {
            return false;
        }
        // No syllable is longer: more letters can only end in a refusal.
        if (++letters > mandarin::kMaxSyllableLetters) return false;
        if (letters == 1 && w != first) *w++ = ' ';
        *w++ = letter;
        key = mandarin::syllable_key_add(key, letter);
    }
    if (letters != 0 || w == first) return false;
    out.append(first, static_cast<std::size_t>(w - first));
    return true;
}

std::string normalize_pinyin(std::string_view ph) {
    std::string out;
    normalize_pinyin(ph, out);
    return out;
}

}  // namespace speech::lexicons
