// SPDX-License-Identifier: Apache-2.0
#include "user_lexicon.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace speech::lexicons {
namespace {

std::uint64_t mixed(std::uint64_t h) {
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    return h ^ (h >> 29);
}

// A hash taken a byte at a time, so that the hash of each beginning of a
// text comes from the one before it.
constexpr std::uint64_t kHashSeed = 0x9E3779B97F4A7C15ull;
inline std::uint64_t hash_step(std::uint64_t h, char c) { return (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ull; }
inline std::uint32_t hash_end(std::uint64_t h, std::size_t len) {
    h = mixed(mixed(h ^ len) * 0x94D049BB133111EBull);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

std::uint32_t hash_of(std::string_view s) {
    std::uint64_t h = kHashSeed;
    for (const char c : s) h = hash_step(h, c);
    return hash_end(h, s.size());
}

constexpr std::uint64_t kOffsetMask = 0xFFFFFFFFull;
// The longest matches at a position kept to be checked, longest first.
constexpr std::size_t kHitsKept = 8;

// A lexeme of a short word takes some 80 bytes of its file, and some 30 of
// the arena (its grapheme, its reading and their lengths). Room reserved
// for more than is used costs address space only, while growing the arena
// copies it: the guesses are generous.
constexpr std::size_t kBytesPerEntry = 64;
constexpr std::size_t kBytesPerArenaByte = 2;

// finish() fills the index in 2^kOrderBits regions, one after the other.
constexpr unsigned kOrderBits = 8;

// The filter of beginnings takes 8 bits a beginning (a power of two at
// least that): a text that begins no grapheme passes for one at most one
// time in eight, which costs the walk a step more. The hashes are 32 bits.
constexpr std::size_t kBitsPerBeginning = 8;
constexpr std::uint64_t kMostFilterBits = std::uint64_t{1} << 32;

bool is_word_byte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The arena's numbers take seven bits a byte, lowest first, the top bit set
// where more follow: a length under 128 takes one byte, not four. Those
// written are under 2^35 (a length or distance within the arena, doubled).
constexpr std::size_t kMostNumberBytes = 5;

std::size_t put_number(std::uint64_t v, char *out) {
    std::size_t n = 0;
    for (; v >= 0x80; v >>= 7) out[n++] = static_cast<char>((v & 0x7F) | 0x80);
    out[n++] = static_cast<char>(v);
    return n;
}

std::uint64_t take_number(const char *&p) {
    std::uint64_t v = 0;
    for (unsigned shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(*p++);
        v |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if (byte < 0x80) return v;
    }
}

}  // namespace

template <typename T>
T *LargePageAllocator<T>::allocate(std::size_t n) {
    constexpr std::size_t kLargePage = 2u << 20;
    const std::size_t bytes = n * sizeof(T);
    void *p = nullptr;
    if (bytes >= kLargePage) {
        p = std::aligned_alloc(kLargePage, (bytes + kLargePage - 1) / kLargePage * kLargePage);
        // Advice only: refused, the table is in small pages as any other.
        if (p != nullptr) static_cast<void>(::madvise(p, bytes, MADV_HUGEPAGE));
    } else {
        p = std::malloc(bytes);
    }
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T *>(p);
}
template struct LargePageAllocator<std::uint64_t>;

const char *UserLexicon::bytes_at(std::size_t at) const {
    return at < arena_.size() ? arena_.data() + at : appended_.data() + (at - arena_.size());
}

std::string_view UserLexicon::grapheme_at(std::size_t at) const {
    const char *p = bytes_at(at);
    const std::uint64_t length = take_number(p);
    take_number(p);  // the distance back to the reading
    return {p, static_cast<std::size_t>(length)};
}

Entry UserLexicon::entry_at(std::size_t at) const {
    const char *p = bytes_at(at);
    const char *const entry = p;
    const std::uint64_t length = take_number(p);
    const char *reading = entry - take_number(p);
    const std::uint64_t head = take_number(reading);
    return Entry{std::string_view(p, static_cast<std::size_t>(length)),
                 std::string_view(reading, static_cast<std::size_t>(head >> 1)), (head & 1) != 0};
}

bool UserLexicon::room_for(std::size_t bytes) {
    if (!too_big_ && bytes <= kMaxArena && arena_size() <= kMaxArena - bytes) return true;
    too_big_ = true;
    return false;
}

std::size_t UserLexicon::find_slot(std::string_view g, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint64_t v = slots_[i];
        if (v == 0) return i;
        if ((v >> 32) == hash && grapheme_at((v & kOffsetMask) - 1) == g) return i;
    }
}

void UserLexicon::reserve(std::size_t file_bytes) {
    arena_.reserve(file_bytes / kBytesPerArenaByte);
    pending_.reserve(file_bytes / kBytesPerEntry);
}

bool UserLexicon::add_reading(std::string_view said, bool alias) {
    if (said.size() > kMaxArena) return too_big_ = true, false;
    char head[kMostNumberBytes];
    const std::size_t head_bytes = put_number((static_cast<std::uint64_t>(said.size()) << 1) | (alias ? 1 : 0), head);
    if (!room_for(head_bytes + said.size())) return false;
    reading_at_ = arena_size();
    has_reading_ = true;
    std::string &to = last_arena();
    to.append(head, head_bytes);
    to.append(said);
    return true;
}

bool UserLexicon::add_grapheme(std::string_view g) {
    if (g.empty() || !has_reading_) return true;
    if (g.size() > kMaxArena) return too_big_ = true, false;
    char head[2 * kMostNumberBytes];
    std::size_t head_bytes = put_number(g.size(), head);
    head_bytes += put_number(arena_size() - reading_at_, head + head_bytes);
    if (!room_for(head_bytes + g.size())) return false;
    // Hashed now, while the grapheme is at hand; indexed by finish().
    pending_.push_back((static_cast<std::uint64_t>(hash_of(g)) << 32) | (arena_size() + 1));
    for (std::size_t n = 1; n < g.size(); ++n) beginning_count_ += !is_continuation(g[n]);
    std::string &to = last_arena();
    to.append(head, head_bytes);
    to.append(g);
    std::uint32_t &longest = max_len_[static_cast<unsigned char>(g[0])];
    longest = std::max(longest, static_cast<std::uint32_t>(g.size()));
    return true;
}

void UserLexicon::append(UserLexicon &&later) {
    // A slot value's low half is the entry's offset in the arena + 1.
    const std::uint64_t base = arena_size();
    if (later.too_big_ || !room_for(later.arena_size())) {
        too_big_ = true;
        later = UserLexicon();
        return;
    }
    later.arena_.append(later.appended_);  // entries appended to it in turn (none when read in halves)
    // Kept where it is rather than copied, unless entries were appended before.
    if (appended_.empty())
        appended_ = std::move(later.arena_);
    else
        appended_.append(later.arena_);
    if (later.has_reading_) {
        reading_at_ = base + later.reading_at_;
        has_reading_ = true;
    }
    pending_.reserve(pending_.size() + later.pending_.size());
    for (const std::uint64_t v : later.pending_) pending_.push_back(v + base);
    for (std::size_t c = 0; c < max_len_.size(); ++c) max_len_[c] = std::max(max_len_[c], later.max_len_[c]);
    beginning_count_ += later.beginning_count_;
    later = UserLexicon();
}

void UserLexicon::finish() {
    if (!slots_.empty()) {
        // Indexed before: those entries go in again ahead of the new ones.
        std::vector<std::uint64_t> all;
        for (const std::uint64_t v : slots_)
            if (v != 0) all.push_back(v);
        all.insert(all.end(), pending_.begin(), pending_.end());
        pending_.swap(all);
    }
    index_beginnings();
    std::size_t size = 64;
    while (size < pending_.size() * 2) size *= 2;
    slots_.assign(size, 0);
    live_ = 0;
    const std::size_t mask = size - 1;
    unsigned bits = 0;
    while ((std::size_t{1} << bits) < size) ++bits;
    const unsigned shift = bits > kOrderBits ? bits - kOrderBits : 0;
    auto region = [&](std::uint64_t v) { return ((v >> 32) & mask) >> shift; };

    // Entries go in by their home slot's region, so that the table is
    // written nearly front to back instead of at random; the order is
    // stable, so a later entry of a grapheme still comes after an earlier.
    std::vector<std::uint32_t> starts((mask >> shift) + 2, 0);
    for (const std::uint64_t v : pending_) ++starts[region(v) + 1];
    for (std::size_t b = 1; b < starts.size(); ++b) starts[b] += starts[b - 1];
    std::vector<std::uint64_t> order(pending_.size());
    for (const std::uint64_t v : pending_) order[starts[region(v)]++] = v;
    std::vector<std::uint64_t>().swap(pending_);

    // An entry's grapheme is read only when a slot's hash is its own.
    for (const std::uint64_t v : order) {
        for (std::size_t i = (v >> 32) & mask;; i = (i + 1) & mask) {
            std::uint64_t &slot = slots_[i];
            if (slot == 0) {
                slot = v;
                ++live_;
                break;
            }
            if ((slot >> 32) == (v >> 32) && grapheme_at((slot & kOffsetMask) - 1) == grapheme_at((v & kOffsetMask) - 1)) {
                slot = v;  // a later entry of the same grapheme replaces the earlier
                break;
            }
        }
    }
    // A copy to give back unused room is worth it only when the guess was far off.
    for (std::string *a : {&arena_, &appended_})
        if (a->capacity() / 4 > a->size()) a->shrink_to_fit();
}

// Before the entries are put in the table by their hashes: in the order
// they were added, their graphemes are read front to back in the arena.
void UserLexicon::index_beginnings() {
    std::uint64_t bits = 64;
    while (bits < kMostFilterBits && bits / kBitsPerBeginning < beginning_count_) bits *= 2;
    beginnings_.assign(static_cast<std::size_t>(bits / 64), 0);
    const std::uint32_t mask = static_cast<std::uint32_t>(bits - 1);
    for (const std::uint64_t v : pending_) {
        const std::string_view g = grapheme_at((v & kOffsetMask) - 1);
        std::uint64_t h = kHashSeed;
        for (std::size_t n = 1; n < g.size(); ++n) {
            h = hash_step(h, g[n - 1]);
            if (is_continuation(g[n])) continue;
            const std::uint32_t bit = hash_end(h, n) & mask;
            beginnings_[bit >> 6] |= std::uint64_t{1} << (bit & 63);
        }
    }
}

bool UserLexicon::may_begin(std::uint32_t hash) const {
    const std::uint32_t bit = hash & static_cast<std::uint32_t>(beginnings_.size() * 64 - 1);
    return (beginnings_[bit >> 6] >> (bit & 63)) & 1;
}

bool UserLexicon::longest_at(std::string_view text, std::size_t pos, Entry &out) const {
    if (pos >= text.size() || slots_.empty()) return false;
    const std::size_t longest = std::min<std::size_t>(max_len_[static_cast<unsigned char>(text[pos])], text.size() - pos);
    if (longest == 0) return false;
    if (is_word_byte(text[pos]) && pos > 0 && is_word_byte(text[pos - 1])) return false;
    // One walk from `pos`: where a grapheme's hash is met, the length is
    // kept (the graphemes are compared only afterwards, longest first, so
    // that many lengths that match cost no comparison each).
    std::size_t hits[kHitsKept];
    std::uint32_t hit_hashes[kHitsKept];
    std::size_t kept = 0, next = 0;
    const std::size_t mask = slots_.size() - 1;
    std::uint64_t h = kHashSeed;
    for (std::size_t n = 1; n <= longest; ++n) {
        const std::size_t end = pos + n;
        h = hash_step(h, text[end - 1]);
        if (end < text.size() && is_continuation(text[end])) continue;  // not a character's end
        const std::uint32_t hash = hash_end(h, n);
        if (end == text.size() || !is_word_byte(text[end - 1]) || !is_word_byte(text[end])) {
            for (std::size_t i = hash & mask; slots_[i] != 0; i = (i + 1) & mask) {
                if ((slots_[i] >> 32) != hash) continue;
                hits[next] = n;
                hit_hashes[next] = hash;
                next = (next + 1) % kHitsKept;
                kept = std::min(kept + 1, kHitsKept);
                break;
            }
        }
        if (!may_begin(hash)) break;
    }
    for (std::size_t k = 0; k < kept; ++k) {
        const std::size_t at = (next + kHitsKept - 1 - k) % kHitsKept;
        const std::string_view g = text.substr(pos, hits[at]);
        const std::uint64_t v = slots_[find_slot(g, hit_hashes[at])];
        if (v == 0) continue;
        out = entry_at((v & kOffsetMask) - 1);
        return true;
    }
    return false;
}

}  // namespace speech::lexicons
