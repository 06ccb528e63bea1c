// SPDX-License-Identifier: Apache-2.0
#include "pls_reader.h"

#include <vector>

#include "ssml_document.h"
#include "user_lexicon.h"

namespace speech::lexicons {
namespace {

std::string_view local_name(std::string_view name) {
    const std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string trimmed(const std::string &s) {
    const std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

class PlsBuilder final : public xml::Handler {
  public:
    explicit PlsBuilder(UserLexicon &out) : out_(out) {}

    bool start(std::string_view raw, const xml::Attributes &attrs, std::string &error) override {
        const std::string_view name = local_name(raw);
        ++depth_;
        if (depth_ == 1) {
            if (name != "lexicon") return fail(error, "the root element is " + std::string(raw) + ", not lexicon");
            const char *alphabet = attrs.find("alphabet");
            if (alphabet == nullptr || std::string_view(alphabet) != "x-pinyin")
                return fail(error, "the lexicon's alphabet is not x-pinyin");
            return true;
        }
        if (name == "lexeme" && depth_ == 2) {
            in_lexeme_ = true;
            graphemes_.clear();
            phoneme_.clear();
            alias_.clear();
            has_phoneme_ = has_alias_ = false;
            return true;
        }
        if (!in_lexeme_ || depth_ != 3) return true;  // metadata and the like
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
        return true;
    }

    bool end(std::string_view raw, std::string &error) override {
        const std::string_view name = local_name(raw);
        --depth_;
        if (depth_ == 2) field_ = nullptr;
        if (depth_ != 1 || name != "lexeme") return true;
        in_lexeme_ = false;
        std::vector<std::string> &graphemes = trimmed_;
        graphemes.clear();
        for (const std::string &g : graphemes_)
            if (std::string t = trimmed(g); !t.empty()) graphemes.push_back(std::move(t));
        if (graphemes.empty()) return fail(error, "a lexeme without a grapheme");
        if (has_phoneme_) {
            const std::string pinyin = ssml::normalize_pinyin(phoneme_);
            if (pinyin.empty()) return fail(error, "\"" + trimmed(phoneme_) + "\" is not tone-numbered pinyin");
            for (const std::string &g : graphemes) out_.add(g, pinyin, false);
        } else if (has_alias_ && !trimmed(alias_).empty()) {
            for (const std::string &g : graphemes) out_.add(g, trimmed(alias_), true);
        } else {
            return fail(error, "a lexeme without a phoneme or an alias");
        }
        return true;
    }

    bool text(std::string_view text, std::string &) override {
        if (field_ != nullptr) field_->append(text);
        return true;
    }

  private:
    static bool fail(std::string &error, std::string message) {
        error = std::move(message);
        return false;
    }

    UserLexicon &out_;
    int depth_ = 0;
    bool in_lexeme_ = false;
    std::vector<std::string> graphemes_, trimmed_;
    std::string phoneme_, alias_;
    bool has_phoneme_ = false, has_alias_ = false;
    std::string *field_ = nullptr;
};

}  // namespace

bool read_pls(std::string_view text, UserLexicon &out, xml::Error &error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    PlsBuilder builder(out);
    return xml::parse(text, builder, error);
}

bool read_pls(const xml::ReadPiece &read, UserLexicon &out, xml::Error &error) {
    PlsBuilder builder(out);
    return xml::parse_stream(read, builder, error);
}

}  // namespace speech::lexicons
