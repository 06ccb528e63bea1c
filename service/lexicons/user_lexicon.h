// SPDX-License-Identifier: Apache-2.0
// The entries of the host's pronunciation lexicons, looked up by the text
// they match: one open-addressing table of all graphemes, and a filter of
// the hashes of their beginnings (at each character's end). Finding the
// longest match at a position walks the text once from there, hashing as it
// goes, and stops where no grapheme begins as the text does: its cost is the
// length of the longest beginning matched (and now and then a step more,
// where the filter takes a beginning for one it holds), whatever lengths the
// lexicon's graphemes have.
#ifndef SPEECH_LEXICONS_USER_LEXICON_H
#define SPEECH_LEXICONS_USER_LEXICON_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace speech::lexicons {

struct Entry {
    std::string_view grapheme;
    std::string_view said;  // tone-numbered pinyin, or the alias text
    bool alias = false;
};

// Memory for a table that is written whole as soon as it is made: from
// 2 MiB on, in pages of 2 MiB where the system gives them on request, so
// that filling it takes one page fault for each 2 MiB instead of 512 (the
// index of a 100,000-entry lexicon is 2 MiB, and its small pages' faults
// took some 6 ms of registering it).
template <typename T>
struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <typename U>
    LargePageAllocator(const LargePageAllocator<U> &) {}
    T *allocate(std::size_t n);
    void deallocate(T *p, std::size_t) { std::free(p); }
    template <typename U>
    bool operator==(const LargePageAllocator<U> &) const { return true; }
    template <typename U>
    bool operator!=(const LargePageAllocator<U> &) const { return false; }
};

class UserLexicon {
  public:
    // The most bytes the entries may take: their offsets are 32 bits.
    static constexpr std::size_t kMaxArena = 0xFFFFFFF0u;

    // Adds a reading, stored once however many graphemes share it (a
    // lexeme's); false when the entries would outgrow kMaxArena.
    bool add_reading(std::string_view said, bool alias);
    // Adds the entry of `grapheme` with the reading added last; a later
    // entry of the same grapheme replaces it. Entries are looked up once
    // finish() has indexed them. False when the entries would outgrow
    // kMaxArena (too_big() then stays true).
    bool add_grapheme(std::string_view grapheme);
    // Both at once, for a reading of one grapheme.
    bool add(std::string_view grapheme, std::string_view said, bool alias) {
        return add_reading(said, alias) && add_grapheme(grapheme);
    }
    // Entries were refused for want of room (see kMaxArena).
    bool too_big() const { return too_big_; }
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
    // An entry in the arena: its grapheme's length and the distance back
    // from the entry to its reading (each in as few bytes as it needs),
    // then the grapheme's bytes. Its reading stands before it (a lexeme's
    // reading, then its graphemes): its length doubled, plus one for an
    // alias, then its bytes. The distance survives append().
    const char *bytes_at(std::size_t at) const;
    std::string_view grapheme_at(std::size_t at) const;
    Entry entry_at(std::size_t at) const;
    bool room_for(std::size_t bytes);
    bool may_begin(std::uint32_t hash) const;
    void index_beginnings();
    std::size_t find_slot(std::string_view g, std::uint32_t hash) const;

    // The entries one after the other, in the order added; one replaced by
    // a later entry of its grapheme stays, unindexed. Those of a lexicon
    // appended, and those added after them, are in appended_, at offsets
    // from arena_'s size on: appending copies no entry (a lexeme is never
    // split between the two).
    std::string arena_, appended_;
    std::size_t arena_size() const { return arena_.size() + appended_.size(); }
    std::string &last_arena() { return appended_.empty() ? arena_ : appended_; }
    // The slot values of the entries added since the last finish().
    std::vector<std::uint64_t> pending_;
    // The grapheme's hash in the high half, its entry's offset in the arena
    // + 1 in the low half; 0 empty.
    std::vector<std::uint64_t, LargePageAllocator<std::uint64_t>> slots_;
    // A bit for each hash of a grapheme's beginning that ends a character
    // but not the grapheme (at the hash's low bits): a set bit may also be
    // another text's, never the other way round.
    std::vector<std::uint64_t> beginnings_;
    // The beginnings of the graphemes added, repeats and all: what the
    // filter is sized by.
    std::size_t beginning_count_ = 0;
    std::size_t live_ = 0;
    std::size_t reading_at_ = 0;  // the reading added last
    bool has_reading_ = false, too_big_ = false;
    std::array<std::uint32_t, 256> max_len_{};
};

}  // namespace speech::lexicons

#endif  // SPEECH_LEXICONS_USER_LEXICON_H
