// SPDX-License-Identifier: Apache-2.0
#include "pls_reader.h"

#include <vector>

#include "ssml_document.h"
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
                return fail(error, "the root element is " + std::string(element.written()) + ", not lexicon");
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
            if (!ssml::normalize_pinyin(view(phoneme_), pinyin_))
                return fail(error, "\"" + std::string(trimmed(view(phoneme_))) + "\" is not tone-numbered pinyin");
            said = pinyin_;
        } else if (has_alias_ && !trimmed(view(alias_)).empty()) {
            said = trimmed(view(alias_));
            alias = true;
        } else {
            return fail(error, "a lexeme without a phoneme or an alias");
        }
        for (const Field &g : graphemes_)
            if (const std::string_view t = trimmed(view(g)); !t.empty()) out_.add(t, said, alias);
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

}  // namespace

bool read_pls(std::string_view text, UserLexicon &out, xml::Error &error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    PlsBuilder builder(out);
    if (!xml::parse(text, builder, error)) return false;
    out.finish();
    return true;
}

bool read_pls(const xml::ReadPiece &read, UserLexicon &out, xml::Error &error) {
    PlsBuilder builder(out);
    if (!xml::parse_stream(read, builder, error)) return false;
    out.finish();
    return true;
}

}  // namespace speech::lexicons
