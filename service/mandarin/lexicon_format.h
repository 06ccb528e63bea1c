// SPDX-License-Identifier: Apache-2.0
// The layout of mandarin.lex, written by compile_lexicon.py: a header and
// seven sections, all little-endian and 8-byte aligned, mapped as they are.
//
//   syllables   8 bytes each, NUL-padded ASCII ("zhuang1")
//   char codes  u32 code points, ascending; a character's index is its place
//   char info   {u32 first reading, u16 reading count, u16 zero} per character
//   readings    {u16 syllable, u16 weight}, most frequent first
//   variants    {u32 traditional, u32 simplified}, ascending
//   slots       u32 entry offsets (in u32 units), open addressing by
//               word_hash(), 0xFFFFFFFF for an empty slot
//   entries     u32 words: length | flags << 8 | cost << 16, then the
//               length character indices as u16 pairs, then (with
//               kEntryReading) as many u16 syllables, padded with 0xFFFF
//
// The cost of a word is -ln(its share of all words) * 1000; a string that
// only begins longer words has kEntryPrefix alone. kEntryDerived marks a
// reading the compiler derived from the characters rather than found.
#ifndef SPEECH_MANDARIN_LEXICON_FORMAT_H
#define SPEECH_MANDARIN_LEXICON_FORMAT_H

#include <cstddef>
#include <cstdint>

namespace speech::mandarin::format {

inline constexpr char kMagic[8] = {'M', 'A', 'N', 'D', 'L', 'E', 'X', '\x01'};
inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::uint16_t kNoSyllable = 0xFFFF;
inline constexpr std::uint32_t kEmptySlot = 0xFFFFFFFF;
inline constexpr std::uint8_t kEntryWord = 1;
inline constexpr std::uint8_t kEntryReading = 2;
inline constexpr std::uint8_t kEntryPrefix = 4;
inline constexpr std::uint8_t kEntryDerived = 8;  // reading derived from the characters
inline constexpr std::size_t kSyllableBytes = 8;

struct Header {
    char magic[8];
    std::uint32_t version;
    std::uint32_t file_size;
    std::uint32_t syllable_count, syllables;
    std::uint32_t char_count, char_codes, char_info;
    std::uint32_t reading_count, readings;
    std::uint32_t variant_count, variants;
    std::uint32_t slot_count, slots;
    std::uint32_t entry_words, entries;
    std::uint32_t unknown_cost;
    std::uint32_t max_word;
    std::uint32_t reserved[2];
    std::uint8_t padding[8];
    std::uint32_t checksum;  // fnv1a of the bytes before it
};
static_assert(sizeof(Header) == 96, "header layout");

struct CharInfo {
    std::uint32_t first_reading;
    std::uint16_t reading_count;
    std::uint16_t zero;
};

struct Reading {
    std::uint16_t syllable;
    std::uint16_t weight;
};

struct Variant {
    std::uint32_t from;
    std::uint32_t to;
};

// FNV-1a over the two bytes of each character index, as the compiler hashes.
struct WordHash {
    std::uint32_t value = 2166136261u;
    void add(std::uint16_t index) {
        value = (value ^ (index & 0xFFu)) * 16777619u;
        value = (value ^ (index >> 8)) * 16777619u;
    }
};

inline std::uint32_t fnv1a(const unsigned char *data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    return h;
}

}  // namespace speech::mandarin::format

#endif  // SPEECH_MANDARIN_LEXICON_FORMAT_H
