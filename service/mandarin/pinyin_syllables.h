// SPDX-License-Identifier: Apache-2.0
// The syllable inventory of standard Mandarin in Hanyu Pinyin.
#ifndef SPEECH_MANDARIN_PINYIN_SYLLABLES_H
#define SPEECH_MANDARIN_PINYIN_SYLLABLES_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace speech::mandarin {

// A syllable's letters as one number, five bits a letter from the first
// ('a' 1 .. 'z' 26): readers that see letters one at a time build it as
// they go, with no string. No syllable has more letters than this.
inline constexpr std::size_t kMaxSyllableLetters = 6;
inline constexpr std::uint32_t syllable_key_add(std::uint32_t key, char lower) {
    return (key << 5) | static_cast<std::uint32_t>(lower - 'a' + 1);
}
// Whether a key of at most kMaxSyllableLetters lower-case letters is a syllable.
bool is_pinyin_syllable_key(std::uint32_t key);

// True for a toneless syllable in lower case with v for ü ("lv", "zhuang",
// "er"); false for letters Mandarin has no syllable for ("bia", "gv").
bool is_pinyin_syllable(std::string_view s);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_PINYIN_SYLLABLES_H
