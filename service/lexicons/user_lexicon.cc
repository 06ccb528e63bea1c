// SPDX-License-Identifier: Apache-2.0
#include "user_lexicon.h"

#include <algorithm>

namespace speech::lexicons {
namespace {

std::uint32_t hash_of(std::string_view s) {
    std::uint64_t h = 1469598103934665603ull;
    for (const char c : s) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

constexpr std::uint64_t kIndexMask = 0xFFFFFFFFull;

// Entries a file of this size may hold: a lexeme of a short word takes some
// 80 bytes. A table sized to fit keeps its misses in the cache few.
constexpr std::size_t kBytesPerEntry = 80;
// And of those bytes some one in three is a grapheme's or a reading's.
constexpr std::size_t kBytesPerArenaByte = 3;

// finish() fills the index in 2^kOrderBits regions, one after the other.
constexpr unsigned kOrderBits = 12;

bool is_word_byte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

Entry UserLexicon::entry(const Stored &s) const {
    return Entry{grapheme(s), std::string_view(arena_.data() + s.said, s.said_len), s.alias};
}

std::size_t UserLexicon::find_slot(std::string_view g, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint64_t v = slots_[i];
        if (v == 0) return i;
        if ((v >> 32) == hash && grapheme(entries_[(v & kIndexMask) - 1]) == g) return i;
    }
}

void UserLexicon::reserve(std::size_t file_bytes) {
    entries_.reserve(file_bytes / kBytesPerEntry);
    arena_.reserve(file_bytes / kBytesPerArenaByte);
}

void UserLexicon::add(std::string_view g, std::string_view said, bool alias) {
    if (g.empty()) return;
    Stored s{static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(g.size()), 0,
             static_cast<std::uint32_t>(said.size()), alias};
    arena_.append(g);
    s.said = static_cast<std::uint32_t>(arena_.size());
    arena_.append(said);
    entries_.push_back(s);
    std::uint32_t &longest = max_len_[static_cast<unsigned char>(g[0])];
    longest = std::max(longest, s.grapheme_len);
}

void UserLexicon::finish() {
    const std::size_t n = entries_.size();
    std::size_t size = 64;
    while (size < n * 2) size *= 2;
    slots_.assign(size, 0);
    live_ = 0;
    const std::size_t mask = size - 1;
    unsigned bits = 0;
    while ((std::size_t{1} << bits) < size) ++bits;
    const unsigned shift = bits > kOrderBits ? bits - kOrderBits : 0;

    // Entries go in by their home slot's region, so that the table is
    // written nearly front to back instead of at random; the order is
    // stable, so a later entry of a grapheme still comes after an earlier.
    std::vector<std::uint32_t> hashes(n);
    std::vector<std::uint32_t> starts((mask >> shift) + 2, 0);
    for (std::size_t i = 0; i < n; ++i) {
        hashes[i] = hash_of(grapheme(entries_[i]));
        ++starts[((hashes[i] & mask) >> shift) + 1];
    }
    for (std::size_t b = 1; b < starts.size(); ++b) starts[b] += starts[b - 1];
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[starts[(hashes[i] & mask) >> shift]++] = static_cast<std::uint32_t>(i);

    for (const std::uint32_t i : order) {
        const std::uint64_t v = (static_cast<std::uint64_t>(hashes[i]) << 32) | (i + 1);
        std::uint64_t &slot = slots_[find_slot(grapheme(entries_[i]), hashes[i])];
        if (slot == 0) ++live_;
        slot = v;  // a later entry of the same grapheme replaces the earlier
    }
    entries_.shrink_to_fit();
    arena_.shrink_to_fit();
}

bool UserLexicon::longest_at(std::string_view text, std::size_t pos, Entry &out) const {
    if (pos >= text.size() || slots_.empty()) return false;
    const std::size_t longest = std::min<std::size_t>(max_len_[static_cast<unsigned char>(text[pos])], text.size() - pos);
    if (longest == 0) return false;
    if (is_word_byte(text[pos]) && pos > 0 && is_word_byte(text[pos - 1])) return false;
    for (std::size_t n = longest; n > 0; --n) {
        const std::size_t end = pos + n;
        if (end < text.size() && is_continuation(text[end])) continue;  // not a character's end
        if (end < text.size() && is_word_byte(text[end - 1]) && is_word_byte(text[end])) continue;
        const std::string_view g = text.substr(pos, n);
        const std::uint64_t v = slots_[find_slot(g, hash_of(g))];
        if (v == 0) continue;
        out = entry(entries_[(v & kIndexMask) - 1]);
        return true;
    }
    return false;
}

}  // namespace speech::lexicons
