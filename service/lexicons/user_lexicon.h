// SPDX-License-Identifier: Apache-2.0
// The entries of the host's pronunciation lexicons, looked up by the text
// they match: one open-addressing table of all graphemes, and for each
// first byte the longest grapheme that starts with it, so that finding the
// longest match at a position takes at most that many probes.
#ifndef SPEECH_LEXICONS_USER_LEXICON_H
#define SPEECH_LEXICONS_USER_LEXICON_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace speech::lexicons {

struct Entry {
    std::string_view grapheme;
    std::string_view said;  // tone-numbered pinyin, or the alias text
    bool alias = false;
};

class UserLexicon {
  public:
    // Adds the entry of `grapheme`; a later entry of the same grapheme
    // replaces it. Entries are looked up once finish() has indexed them.
    void add(std::string_view grapheme, std::string_view said, bool alias);
    // Adds the entries of `later`, none of them indexed yet, after this
    // one's, as if they had been added here in their order.
    void append(UserLexicon &&later);
    // Indexes the entries added so far and gives back unused room.
    void finish();
    std::size_t size() const { return live_; }
    // Room for the entries of a lexicon file of `file_bytes` (a guess).
    void reserve(std::size_t file_bytes);
    bool empty() const { return live_ == 0; }

    // The longest entry whose grapheme is `text` from `pos` on, in `out`;
    // false if none. A grapheme that starts or ends with a Latin letter or
    // digit matches only where a word starts or ends there.
    bool longest_at(std::string_view text, std::size_t pos, Entry &out) const;
    // Whether any grapheme starts with this byte: the caller's fast path.
    bool may_start(unsigned char c) const { return max_len_[c] != 0; }

  private:
    // An entry in the arena: its header, then the grapheme's bytes, then
    // the reading's.
    struct Header {
        std::uint32_t grapheme_len;
        std::uint32_t said_len;  // the top bit: an alias
    };
    Header header_at(std::size_t at) const;
    std::string_view grapheme_at(std::size_t at) const;
    Entry entry_at(std::size_t at) const;
    std::size_t find_slot(std::string_view g, std::uint32_t hash) const;

    // The entries one after the other, in the order added; one replaced by
    // a later entry of its grapheme stays, unindexed.
    std::string arena_;
    // The slot values of the entries added since the last finish().
    std::vector<std::uint64_t> pending_;
    // The grapheme's hash in the high half, its entry's offset in the arena
    // + 1 in the low half; 0 empty.
    std::vector<std::uint64_t> slots_;
    std::size_t live_ = 0;
    std::array<std::uint32_t, 256> max_len_{};
};

}  // namespace speech::lexicons

#endif  // SPEECH_LEXICONS_USER_LEXICON_H
