// SPDX-License-Identifier: Apache-2.0
// What CHAR and KEY say: a single character or a key name (with its
// modifiers) as a screen reader needs to hear it, as an SSML document.
#ifndef SD_TTS_KEY_NAMES_H
#define SD_TTS_KEY_NAMES_H

#include <string>
#include <string_view>

namespace sd_tts {

struct SpellingStyle {
    bool mandarin = true;         // names in Mandarin, else in English
    bool announce_capitals = false;  // "capital" before an upper-case letter
};

// `c`, one character in UTF-8: a Han character by its reading, a letter or
// digit by its name, a sign or blank by its name in words.
std::string char_document(std::string_view c, const SpellingStyle &style);

// An SSIP key name such as "a", "shift_A", "control_alt_delete", "kp-enter".
std::string key_document(std::string_view key, const SpellingStyle &style);

// `text` spelt out character by character (spelling mode).
std::string spelled_document(std::string_view text, const SpellingStyle &style);

}  // namespace sd_tts

#endif  // SD_TTS_KEY_NAMES_H
