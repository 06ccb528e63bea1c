// SPDX-License-Identifier: Apache-2.0
#include "lexicon.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "polyphone_model.h"

namespace speech::mandarin {

namespace {

// True when `count` items of `item` bytes from `offset` lie inside `size`
// bytes and `offset` is aligned for them.
bool section_fits(std::uint64_t offset, std::uint64_t count, std::uint64_t item, std::uint64_t size) {
    return offset % 4 == 0 && offset >= sizeof(format::Header) && offset <= size &&
           count * item <= size - offset;
}

}  // namespace

std::uint16_t WordEntry::syllable(std::size_t i) const {
    if (syllables == nullptr || i >= length) return format::kNoSyllable;
    std::uint32_t pair = syllables[i / 2];
    return static_cast<std::uint16_t>(i % 2 == 0 ? pair & 0xFFFFu : pair >> 16);
}

std::unique_ptr<Lexicon> Lexicon::open(const std::string &path, std::string &error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open the Mandarin lexicon " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < static_cast<off_t>(sizeof(format::Header))) {
        ::close(fd);
        error = "the Mandarin lexicon " + path + " is not a lexicon file (too short)";
        return nullptr;
    }
    auto size = static_cast<std::size_t>(st.st_size);
    void *map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) {
        error = "cannot map the Mandarin lexicon " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<Lexicon> lexicon(new Lexicon());
    lexicon->map_ = map;
    lexicon->size_ = size;
    lexicon->base_ = static_cast<const unsigned char *>(map);
    if (!lexicon->load(error)) {
        error = "the Mandarin lexicon " + path + " is refused: " + error;
        return nullptr;
    }
    return lexicon;
}

std::unique_ptr<Lexicon> Lexicon::from_bytes(const void *data, std::size_t size, std::string &error) {
    std::unique_ptr<Lexicon> lexicon(new Lexicon());
    lexicon->size_ = size;
    lexicon->base_ = static_cast<const unsigned char *>(data);
    if (data == nullptr || size < sizeof(format::Header) || reinterpret_cast<std::uintptr_t>(data) % 8 != 0) {
        error = "too short or misaligned";
        return nullptr;
    }
    if (!lexicon->load(error)) return nullptr;
    return lexicon;
}

Lexicon::~Lexicon() {
    if (map_ != nullptr) munmap(map_, size_);
}

void Lexicon::set_polyphone_model(std::unique_ptr<PolyphoneModel> model) {
    polyphone_model_ = std::move(model);
    model_classes_.clear();
    if (!polyphone_model_) return;
    model_classes_.resize(header_->syllable_count, kNoClass);
    for (std::size_t id = 0; id < model_classes_.size(); ++id)
        model_classes_[id] = polyphone_model_->class_of(syllable(static_cast<std::uint16_t>(id)));
}

bool Lexicon::load(std::string &error) {
    if (size_ < sizeof(format::Header)) {
        error = "too short";
        return false;
    }
    const auto *h = reinterpret_cast<const format::Header *>(base_);
    if (std::memcmp(h->magic, format::kMagic, sizeof h->magic) != 0) {
        error = "not a Mandarin lexicon";
        return false;
    }
    if (h->version != format::kVersion) {
        error = "lexicon version " + std::to_string(h->version) + ", expected " + std::to_string(format::kVersion);
        return false;
    }
    if (format::fnv1a(base_, offsetof(format::Header, checksum)) != h->checksum) {
        error = "damaged header";
        return false;
    }
    if (h->file_size != size_) {
        error = "truncated (" + std::to_string(size_) + " bytes of " + std::to_string(h->file_size) + ")";
        return false;
    }
    bool slots_power_of_two = h->slot_count != 0 && (h->slot_count & (h->slot_count - 1)) == 0;
    if (!section_fits(h->syllables, h->syllable_count, format::kSyllableBytes, size_) ||
        !section_fits(h->char_codes, h->char_count, 4, size_) ||
        !section_fits(h->char_info, h->char_count, sizeof(format::CharInfo), size_) ||
        !section_fits(h->readings, h->reading_count, sizeof(format::Reading), size_) ||
        !section_fits(h->variants, h->variant_count, sizeof(format::Variant), size_) ||
        !section_fits(h->slots, h->slot_count, 4, size_) || !section_fits(h->entries, h->entry_words, 4, size_) ||
        !slots_power_of_two || h->char_count >= kNoChar || h->max_word == 0 || h->max_word > 64) {
        error = "a section lies outside the file";
        return false;
    }
    header_ = h;
    syllables_ = reinterpret_cast<const char *>(base_ + h->syllables);
    char_codes_ = reinterpret_cast<const std::uint32_t *>(base_ + h->char_codes);
    char_info_ = reinterpret_cast<const format::CharInfo *>(base_ + h->char_info);
    readings_ = reinterpret_cast<const format::Reading *>(base_ + h->readings);
    variants_ = reinterpret_cast<const format::Variant *>(base_ + h->variants);
    slots_ = reinterpret_cast<const std::uint32_t *>(base_ + h->slots);
    entries_ = reinterpret_cast<const std::uint32_t *>(base_ + h->entries);
    return true;
}

std::uint16_t Lexicon::char_index(char32_t c) const {
    const std::uint32_t *end = char_codes_ + header_->char_count;
    const std::uint32_t *it = std::lower_bound(char_codes_, end, static_cast<std::uint32_t>(c));
    if (it == end || *it != c) return kNoChar;
    return static_cast<std::uint16_t>(it - char_codes_);
}

std::size_t Lexicon::reading_count(std::uint16_t index) const {
    if (index >= header_->char_count) return 0;
    const format::CharInfo &info = char_info_[index];
    if (info.first_reading > header_->reading_count ||
        info.reading_count > header_->reading_count - info.first_reading)
        return 0;
    return info.reading_count;
}

format::Reading Lexicon::reading(std::uint16_t index, std::size_t k) const {
    if (k >= reading_count(index)) return {format::kNoSyllable, 0};
    return readings_[char_info_[index].first_reading + k];
}

std::string_view Lexicon::syllable(std::uint16_t id) const {
    if (id >= header_->syllable_count) return {};
    const char *s = syllables_ + static_cast<std::size_t>(id) * format::kSyllableBytes;
    return {s, strnlen(s, format::kSyllableBytes)};
}

char32_t Lexicon::simplified(char32_t c) const {
    const format::Variant *end = variants_ + header_->variant_count;
    const format::Variant *it = std::lower_bound(
        variants_, end, c, [](const format::Variant &v, char32_t x) { return v.from < x; });
    return it != end && it->from == c ? static_cast<char32_t>(it->to) : c;
}

WordEntry Lexicon::find(const std::uint16_t *first, std::size_t n) const {
    format::WordHash hash;
    for (std::size_t i = 0; i < n; ++i) hash.add(first[i]);
    return find(first, n, hash.value);
}

WordEntry Lexicon::find(const std::uint16_t *first, std::size_t n, std::uint32_t hash) const {
    WordEntry result;
    if (n == 0 || n > 255) return result;
    const std::uint32_t mask = header_->slot_count - 1;
    const std::uint32_t words = header_->entry_words;
    // Every probe sequence ends at an empty slot in a sound file; the bound
    // keeps a damaged one from looping for ever.
    for (std::uint32_t probe = 0, slot = hash & mask; probe <= mask; ++probe, slot = (slot + 1) & mask) {
        std::uint32_t offset = slots_[slot];
        if (offset == format::kEmptySlot) return result;
        if (offset >= words) continue;
        std::uint32_t head = entries_[offset];
        std::size_t length = head & 0xFFu;
        std::size_t char_words = (length + 1) / 2;
        if (length != n || char_words > words - offset - 1) continue;
        const std::uint32_t *chars = entries_ + offset + 1;
        bool same = true;
        for (std::size_t i = 0; i < n && same; ++i) {
            std::uint32_t pair = chars[i / 2];
            same = static_cast<std::uint16_t>(i % 2 == 0 ? pair & 0xFFFFu : pair >> 16) == first[i];
        }
        if (!same) continue;
        std::uint8_t flags = static_cast<std::uint8_t>(head >> 8);
        result.found = true;
        result.is_word = (flags & format::kEntryWord) != 0;
        result.is_prefix = (flags & format::kEntryPrefix) != 0;
        result.derived = (flags & format::kEntryDerived) != 0;
        result.cost = static_cast<std::uint16_t>(head >> 16);
        result.length = n;
        if ((flags & format::kEntryReading) != 0 && char_words <= words - offset - 1 - char_words) {
            result.has_reading = true;
            result.syllables = chars + char_words;
        }
        return result;
    }
    return result;
}

}  // namespace speech::mandarin
