// SPDX-License-Identifier: Apache-2.0
#include "user_lexicon.h"

#include <algorithm>

namespace speech::lexicons {
namespace {

std::uint64_t hash_of(std::string_view s) {
    std::uint64_t h = 1469598103934665603ull;
    for (const char c : s) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return h;
}

bool is_word_byte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

Entry UserLexicon::entry(const Stored &s) const {
    return Entry{grapheme(s), std::string_view(arena_.data() + s.said, s.said_len), s.alias};
}

std::size_t UserLexicon::find_slot(std::string_view g) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash_of(g) & mask;; i = (i + 1) & mask) {
        const std::uint32_t v = slots_[i];
        if (v == 0 || grapheme(entries_[v - 1]) == g) return i;
    }
}

void UserLexicon::grow() {
    std::vector<std::uint32_t> old;
    old.swap(slots_);
    slots_.assign(std::max<std::size_t>(64, old.size() * 2), 0);
    for (const std::uint32_t v : old)
        if (v != 0) slots_[find_slot(grapheme(entries_[v - 1]))] = v;
}

void UserLexicon::add(std::string_view g, std::string_view said, bool alias) {
    if (g.empty()) return;
    if ((live_ + 1) * 2 > slots_.size()) grow();
    Stored s{static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(g.size()), 0,
             static_cast<std::uint32_t>(said.size()), alias};
    arena_.append(g);
    s.said = static_cast<std::uint32_t>(arena_.size());
    arena_.append(said);
    const std::size_t slot = find_slot(g);
    if (slots_[slot] != 0) {
        entries_[slots_[slot] - 1] = s;  // the later entry wins
    } else {
        entries_.push_back(s);
        slots_[slot] = static_cast<std::uint32_t>(entries_.size());
        ++live_;
    }
    std::uint32_t &longest = max_len_[static_cast<unsigned char>(g[0])];
    longest = std::max(longest, s.grapheme_len);
}

void UserLexicon::add_all(const UserLexicon &other) {
    for (const std::uint32_t v : other.slots_) {
        if (v == 0) continue;
        const Entry e = other.entry(other.entries_[v - 1]);
        add(e.grapheme, e.said, e.alias);
    }
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
        const std::uint32_t v = slots_[find_slot(text.substr(pos, n))];
        if (v == 0) continue;
        out = entry(entries_[v - 1]);
        return true;
    }
    return false;
}

}  // namespace speech::lexicons
