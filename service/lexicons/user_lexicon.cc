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

void UserLexicon::grow(std::size_t at_least) {
    std::size_t size = std::max<std::size_t>(64, slots_.size());
    while (size < at_least * 2) size *= 2;
    if (size == slots_.size()) return;
    std::vector<std::uint64_t> old(size, 0);
    old.swap(slots_);
    for (const std::uint64_t v : old)
        if (v != 0) slots_[find_slot(grapheme(entries_[(v & kIndexMask) - 1]), static_cast<std::uint32_t>(v >> 32))] = v;
}

void UserLexicon::reserve(std::size_t file_bytes) {
    const std::size_t entries = file_bytes / kBytesPerEntry;
    entries_.reserve(entries);
    arena_.reserve(file_bytes / 4);
    grow(entries);
}

void UserLexicon::shrink() {
    entries_.shrink_to_fit();
    arena_.shrink_to_fit();
}

void UserLexicon::add(std::string_view g, std::string_view said, bool alias) {
    if (g.empty()) return;
    if ((live_ + 1) * 2 > slots_.size()) grow(live_ + 1);
    const std::uint32_t hash = hash_of(g);
    const std::size_t slot = find_slot(g, hash);
    Stored s{static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(g.size()), 0,
             static_cast<std::uint32_t>(said.size()), alias};
    arena_.append(g);
    s.said = static_cast<std::uint32_t>(arena_.size());
    arena_.append(said);
    if (slots_[slot] != 0) {
        entries_[(slots_[slot] & kIndexMask) - 1] = s;  // the later entry wins
    } else {
        entries_.push_back(s);
        slots_[slot] = (static_cast<std::uint64_t>(hash) << 32) | entries_.size();
        ++live_;
    }
    std::uint32_t &longest = max_len_[static_cast<unsigned char>(g[0])];
    longest = std::max(longest, s.grapheme_len);
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
