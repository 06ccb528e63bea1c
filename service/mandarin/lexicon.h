// SPDX-License-Identifier: Apache-2.0
// The compiled Mandarin lexicon (mandarin.lex), mapped read-only. Opening
// checks the header and that every section lies inside the file; lookups
// check every index they follow, so a damaged file gives wrong readings at
// worst, never a fault. Immutable once open, so safe to share by threads.
#ifndef SPEECH_MANDARIN_LEXICON_H
#define SPEECH_MANDARIN_LEXICON_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lexicon_format.h"

namespace speech::mandarin {

class PolyphoneModel;

inline constexpr std::uint16_t kNoChar = 0xFFFF;

// A word (or the start of longer words) found in the lexicon.
struct WordEntry {
    bool found = false;      // the string is in the lexicon at all
    bool is_word = false;
    bool has_reading = false;
    bool is_prefix = false;  // longer words begin with it
    bool derived = false;    // its reading was derived from its characters
    std::uint16_t cost = 0;
    const std::uint32_t *syllables = nullptr;  // packed u16 pairs
    std::size_t length = 0;

    // The syllable id of the i-th character, or kNoSyllable.
    std::uint16_t syllable(std::size_t i) const;
};

class Lexicon {
  public:
    // Maps `path`; null with a message in `error` when it is missing,
    // truncated or not a lexicon.
    static std::unique_ptr<Lexicon> open(const std::string &path, std::string &error);
    // The same over bytes the caller keeps alive (tests, fuzzing).
    static std::unique_ptr<Lexicon> from_bytes(const void *data, std::size_t size, std::string &error);
    ~Lexicon();
    Lexicon(const Lexicon &) = delete;
    Lexicon &operator=(const Lexicon &) = delete;

    // The index of character `c`, or kNoChar.
    std::uint16_t char_index(char32_t c) const;
    // Readings of character `index`, most frequent first.
    std::size_t reading_count(std::uint16_t index) const;
    format::Reading reading(std::uint16_t index, std::size_t k) const;
    // The text of syllable `id` ("hang2"); empty for an unknown id.
    std::string_view syllable(std::uint16_t id) const;
    // The simplified form of `c`, or `c` itself.
    char32_t simplified(char32_t c) const;
    // The entry of the word of character indices [first, first + n).
    WordEntry find(const std::uint16_t *first, std::size_t n) const;
    WordEntry find(const std::uint16_t *first, std::size_t n, std::uint32_t hash) const;

    std::uint16_t unknown_cost() const { return static_cast<std::uint16_t>(header_->unknown_cost); }
    std::size_t max_word() const { return header_->max_word; }

    // The trained polyphone model installed beside the lexicon, or null
    // (the rules then read the polyphonic characters alone).
    const PolyphoneModel *polyphone_model() const { return polyphone_model_.get(); }
    void set_polyphone_model(std::unique_ptr<PolyphoneModel> model);
    // The model's class of syllable `id` (kNoClass: none, or no model).
    std::uint16_t model_class(std::uint16_t id) const {
        return id < model_classes_.size() ? model_classes_[id] : std::uint16_t{0xFFFF};
    }

  private:
    Lexicon() = default;
    bool load(std::string &error);

    void *map_ = nullptr;  // owned mapping, or null over borrowed bytes
    std::size_t size_ = 0;
    const unsigned char *base_ = nullptr;
    const format::Header *header_ = nullptr;
    const char *syllables_ = nullptr;
    const std::uint32_t *char_codes_ = nullptr;
    const format::CharInfo *char_info_ = nullptr;
    const format::Reading *readings_ = nullptr;
    const format::Variant *variants_ = nullptr;
    const std::uint32_t *slots_ = nullptr;
    const std::uint32_t *entries_ = nullptr;
    std::unique_ptr<PolyphoneModel> polyphone_model_;
    std::vector<std::uint16_t> model_classes_;  // by syllable id
};

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_LEXICON_H
