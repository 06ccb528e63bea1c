// SPDX-License-Identifier: Apache-2.0
#include "pls_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "shown_text.h"
#include "pinyin_text.h"
#include "user_lexicon.h"

namespace speech::lexicons {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

// A lexeme's fields are gathered in one buffer, reused from lexeme to
// lexeme, so that a lexeme costs no allocation once the first are read.
class PlsBuilder final : public xml::Handler {
  public:
    explicit PlsBuilder(UserLexicon &out) : out_(out) {}

    bool start(const xml::Name &element, const xml::Attributes &attrs, std::string &error) override {
        ++depth_;
        if (depth_ > 3 || (depth_ == 3 && !in_lexeme_)) return true;  // within a field, or metadata and the like
        const std::string_view name = element.local();
        if (depth_ == 1) {
            if (name != "lexicon")
                return fail(error, "the root element is " + tts_text::shown(element.written()) + ", not lexicon");
            const char *alphabet = attrs.find("alphabet");
            if (alphabet == nullptr || std::string_view(alphabet) != "x-pinyin")
                return fail(error, "the lexicon's alphabet is not x-pinyin");
            return true;
        }
        if (depth_ == 2) {
            if (name != "lexeme") return true;
            in_lexeme_ = true;
            fields_.clear();
            graphemes_.clear();
            phoneme_ = alias_ = Field{};
            has_phoneme_ = has_alias_ = false;
            return true;
        }
        field_ = nullptr;
        if (name == "grapheme") {
            graphemes_.emplace_back();
            field_ = &graphemes_.back();
        } else if (name == "phoneme" && !has_phoneme_) {
            const char *alphabet = attrs.find("alphabet");
            if (alphabet != nullptr && std::string_view(alphabet) != "x-pinyin")
                return fail(error, "a phoneme's alphabet is not x-pinyin");
            has_phoneme_ = true;
            field_ = &phoneme_;
        } else if (name == "alias" && !has_alias_) {
            has_alias_ = true;
            field_ = &alias_;
        }
        if (field_ != nullptr) field_->begin = field_->end = fields_.size();
        return true;
    }

    bool end(const xml::Name &element, std::string &error) override {
        --depth_;
        if (depth_ == 2) field_ = nullptr;
        if (depth_ != 1 || element.local() != "lexeme") return true;
        in_lexeme_ = false;
        bool any_grapheme = false;
        for (const Field &g : graphemes_) any_grapheme = any_grapheme || !trimmed(view(g)).empty();
        if (!any_grapheme) return fail(error, "a lexeme without a grapheme");
        std::string_view said;
        bool alias = false;
        if (has_phoneme_) {
            pinyin_.clear();
            if (!normalize_pinyin(view(phoneme_), pinyin_))
                return fail(error, "\"" + tts_text::shown(trimmed(view(phoneme_))) + "\" is not tone-numbered pinyin");
            said = pinyin_;
        } else if (has_alias_ && !trimmed(view(alias_)).empty()) {
            said = trimmed(view(alias_));
            alias = true;
        } else {
            return fail(error, "a lexeme without a phoneme or an alias");
        }
        // The reading once, for every grapheme of the lexeme.
        bool room = out_.add_reading(said, alias);
        for (const Field &g : graphemes_)
            if (const std::string_view t = trimmed(view(g)); !t.empty() && room) room = out_.add_grapheme(t);
        if (!room) return fail(error, "the lexicon's entries take more than 4 GiB");
        return true;
    }

    bool text(std::string_view text, std::string &) override {
        if (field_ != nullptr) {
            fields_.append(text);
            field_->end = fields_.size();
        }
        return true;
    }

  private:
    // Where a field's text stands in fields_.
    struct Field {
        std::size_t begin = 0, end = 0;
    };

    static bool fail(std::string &error, std::string message) {
        error = std::move(message);
        return false;
    }
    std::string_view view(const Field &f) const { return std::string_view(fields_).substr(f.begin, f.end - f.begin); }

    UserLexicon &out_;
    int depth_ = 0;
    bool in_lexeme_ = false;
    std::string fields_;
    std::vector<Field> graphemes_;
    Field phoneme_, alias_;
    bool has_phoneme_ = false, has_alias_ = false;
    Field *field_ = nullptr;
    std::string pinyin_;
};

// A stretch that goes on to the end of the file, however long it is now.
constexpr std::uint64_t kToTheEnd = ~std::uint64_t{0};

// Where a document's bytes come from: a stretch of the file read through
// `read_at`, or bytes given.
struct Stretch {
    std::uint64_t from = 0, to = 0;
    std::string_view bytes;
    bool from_file = true;
};

Stretch of_file(std::uint64_t from, std::uint64_t to) { return Stretch{from, to, {}, true}; }
Stretch given(std::string_view bytes) { return Stretch{0, 0, bytes, false}; }

// Pieces of a document made of stretches, for the parser's reads.
xml::ReadPiece pieces_of(const ReadAt &read_at, std::vector<Stretch> stretches) {
    auto state = std::make_shared<std::pair<std::vector<Stretch>, std::size_t>>(std::move(stretches), 0);
    return [read_at, state](char *buffer, std::size_t capacity, std::string &message) -> long {
        auto &[list, at] = *state;
        while (at < list.size()) {
            Stretch &s = list[at];
            if (!s.from_file) {
                const std::size_t n = std::min(capacity, s.bytes.size());
                std::memcpy(buffer, s.bytes.data(), n);
                s.bytes.remove_prefix(n);
                if (s.bytes.empty()) ++at;
                if (n > 0) return static_cast<long>(n);
                continue;
            }
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, s.to - s.from));
            if (want == 0) {
                ++at;
                continue;
            }
            const long n = read_at(s.from, buffer, want, message);
            if (n < 0) return n;
            if (n == 0) {  // the file ended early
                ++at;
                continue;
            }
            s.from += static_cast<std::uint64_t>(n);
            return n;
        }
        return 0;
    };
}

bool parse_into(const xml::ReadPiece &read, UserLexicon &out, xml::Error &error) {
    PlsBuilder builder(out);
    return xml::parse_stream(read, builder, error);
}

// The first `n` bytes from `offset` (fewer at the end of the file).
bool read_span(const ReadAt &read_at, std::uint64_t offset, std::size_t n, std::string &out) {
    out.resize(n);
    std::size_t got = 0;
    std::string message;
    while (got < n) {
        const long r = read_at(offset + got, out.data() + got, n - got, message);
        if (r <= 0) break;
        got += static_cast<std::size_t>(r);
    }
    out.resize(got);
    return got > 0;
}

// A large document read as two halves, one on a thread of its own. It is
// cut after a "</lexeme>" near its middle: the first half is read with the
// root element closed after it, the second after the prolog and the root's
// start tag. Both halves are well-formed only where the cut lies between
// two children of the root (inside a comment, a CDATA section, a
// processing instruction or a deeper element the first is not), and then
// each reads as the whole document reads there, in the same namespaces.
// False when the halves cannot stand for the whole, which is then read as
// one (so a refusal names its line and column in the whole).
bool read_halves(const ReadAt &read_at, std::uint64_t size, UserLexicon &out) {
    constexpr std::size_t kLook = 64u << 10;
    std::string head, middle, root;
    std::size_t root_end = 0;
    if (!read_span(read_at, 0, kLook, head) || !xml::root_start(head, root_end, root)) return false;
    constexpr std::string_view kLexemeEnd = "</lexeme>";
    if (!read_span(read_at, size / 2, kLook, middle)) return false;
    const std::size_t found = middle.find(kLexemeEnd);
    if (found == std::string::npos) return false;
    const std::uint64_t cut = size / 2 + found + kLexemeEnd.size();
    if (cut <= root_end) return false;
    const std::string close = "</" + root + ">";
    const xml::ReadPiece first = pieces_of(read_at, {of_file(0, cut), given(close)});
    const xml::ReadPiece second_read =
        pieces_of(read_at, {given(std::string_view(head).substr(0, root_end)), of_file(cut, kToTheEnd)});

    UserLexicon second;
    bool first_ok = false, second_ok = false;
    try {
        std::thread reader([&] {
            try {
                second.reserve(static_cast<std::size_t>(size - cut));
                xml::Error ignored;
                second_ok = parse_into(second_read, second, ignored);
            } catch (...) {
                second_ok = false;
            }
        });
        try {
            xml::Error ignored;
            first_ok = parse_into(first, out, ignored);
        } catch (...) {
            reader.join();
            throw;
        }
        reader.join();
    } catch (const std::system_error &) {
        return false;  // no thread to be had
    }
    if (!first_ok || !second_ok) return false;
    out.append(std::move(second));
    return true;
}

}  // namespace

bool read_pls(const ReadAt &read_at, std::uint64_t size, UserLexicon &out, xml::Error &error) {
    if (size >= kReadInHalvesFrom) {
        if (read_halves(read_at, size, out)) {
            out.finish();
            error = xml::Error{};
            return true;
        }
        out = UserLexicon();
        out.reserve(static_cast<std::size_t>(size));
    }
    if (!parse_into(pieces_of(read_at, {of_file(0, kToTheEnd)}), out, error)) return false;
    out.finish();
    return true;
}

bool read_pls(std::string_view text, UserLexicon &out, xml::Error &error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    if (text.size() < kReadInHalvesFrom) {
        PlsBuilder builder(out);
        if (!xml::parse(text, builder, error)) return false;
        out.finish();
        return true;
    }
    const ReadAt in_memory = [text](std::uint64_t offset, char *buffer, std::size_t capacity, std::string &) -> long {
        if (offset >= text.size()) return 0;
        const std::size_t n = std::min<std::size_t>(capacity, text.size() - static_cast<std::size_t>(offset));
        std::memcpy(buffer, text.data() + offset, n);
        return static_cast<long>(n);
    };
    return read_pls(in_memory, text.size(), out, error);
}

}  // namespace speech::lexicons
