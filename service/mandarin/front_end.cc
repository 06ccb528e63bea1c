// SPDX-License-Identifier: Apache-2.0
#include "front_end.h"

#include <algorithm>

#include "han_reader.h"
#include "latin_words.h"
#include "normalize.h"
#include "symbols.h"
#include "text_pieces.h"

namespace speech::mandarin {
namespace {

// Runs of Han characters longer than this are read in parts.
constexpr std::size_t kMaxHanRun = 4096;

// A tone-numbered syllable: [a-z]+[1-5].
bool is_syllable(const std::string &s) {
    if (s.size() < 2 || s.back() < '1' || s.back() > '5') return false;
    for (std::size_t k = 0; k + 1 < s.size(); ++k)
        if (s[k] < 'a' || s[k] > 'z') return false;
    return true;
}

class Tokenizer {
public:
    Tokenizer(const Lexicon &lexicon, const std::vector<NormChar> &chars, NumberMode mode, std::vector<Token> &out)
        : lexicon_(lexicon), chars_(chars), mode_(mode), out_(out) {}

    void run() {
        std::size_t i = 0;
        while (i < chars_.size()) {
            const NormChar &ch = chars_[i];
            std::size_t next = i + 1;
            switch (ch.cls) {
                case CharClass::separator: break;
                case CharClass::han: next = han(i); break;
                case CharClass::digit: next = number(i); break;
                case CharClass::latin: next = latin(i); break;
                case CharClass::punctuation:
                case CharClass::other:
                case CharClass::mark: next = sign(i); break;
            }
            i = next;
        }
    }

private:
    void emit(std::size_t from, std::size_t to, TokenKind kind, std::string reading, const char *pause = nullptr) {
        Token t;
        t.begin = chars_[from].begin;
        t.end = chars_[to - 1].end;
        t.kind = kind;
        t.reading = std::move(reading);
        t.pause = pause;
        out_.push_back(std::move(t));
    }

    // Combining marks and joiners after `i` belong to the token before them.
    std::size_t with_marks(std::size_t i) const {
        while (i < chars_.size() && chars_[i].cls == CharClass::mark) ++i;
        return i;
    }

    // A word of `n` characters from `k`. Characters the lexicon has no
    // reading for are tokens of their own with an empty reading.
    void emit_word(std::size_t k, std::size_t n, const std::vector<std::string> &syllables) {
        std::size_t from = k;
        std::string reading;
        for (std::size_t s = 0; s < n; ++s) {
            const bool known = s < syllables.size() && is_syllable(syllables[s]);
            if (known) {
                if (!reading.empty()) reading += ' ';
                reading += syllables[s];
                continue;
            }
            if (!reading.empty()) emit(from, k + s, TokenKind::han, std::move(reading));
            reading.clear();
            emit(k + s, k + s + 1, TokenKind::han, "");
            from = k + s + 1;
        }
        if (!reading.empty()) emit(from, k + n, TokenKind::han, std::move(reading));
    }

    std::size_t han(std::size_t i) {
        std::size_t end = i;
        while (end < chars_.size() && chars_[end].cls == CharClass::han && end - i < kMaxHanRun) ++end;
        std::u32string run;
        run.reserve(end - i);
        for (std::size_t k = i; k < end; ++k) run += chars_[k].c;
        std::size_t k = i;
        for (const HanWord &word : read_han(lexicon_, run)) {
            const std::size_t n = std::min(word.length, end - k);
            emit_word(k, n, word.syllables);
            k += n;
        }
        // A reader that left characters out: they are not spoken.
        for (; k < end; ++k) emit(k, k + 1, TokenKind::han, "");
        return end;
    }

    std::size_t number(std::size_t i) {
        const NumberReading n = read_number(chars_, i, mode_);
        if (n.length == 0) return sign(i);
        const std::size_t end = with_marks(i + n.length);
        emit(i, end, TokenKind::number, n.reading);
        return end;
    }

    bool after_number() const {
        return !out_.empty() && out_.back().kind == TokenKind::number;
    }

    std::size_t latin(std::size_t i) {
        std::string reading;
        if (const std::size_t n = read_pinyin(chars_, i, reading)) {
            const std::size_t end = with_marks(i + n);
            emit(i, end, TokenKind::pinyin, reading);
            return end;
        }
        const std::size_t n = read_latin_word(chars_, i, reading);
        const std::size_t end = with_marks(i + n);
        if (after_number()) {
            // A unit written apart from its number: 5 kg.
            std::u32string word;
            for (std::size_t k = i; k < i + n; ++k) word += chars_[k].c;
            std::string unit = unit_reading(word);
            if (!unit.empty()) {
                emit(i, end, TokenKind::number, std::move(unit));
                return end;
            }
        }
        emit(i, end, TokenKind::english, "en:" + reading);
        return end;
    }

    std::size_t sign(std::size_t i) {
        const NormChar &ch = chars_[i];
        if (ch.cls != CharClass::mark) {
            const NumberReading n = read_number(chars_, i, mode_);  // -5, ¥20
            if (n.length > 0) {
                const std::size_t end = with_marks(i + n.length);
                emit(i, end, TokenKind::number, n.reading);
                return end;
            }
        }
        if (const char *spoken = symbol_reading(ch.c)) {
            const std::size_t end = with_marks(i + 1);
            emit(i, end, TokenKind::symbol, spoken);
            return end;
        }
        if (ch.cls == CharClass::punctuation) {
            // A run of punctuation is one token with the strongest pause.
            const char *pause = nullptr;
            std::size_t end = i;
            while (end < chars_.size() && chars_[end].cls == CharClass::punctuation &&
                   symbol_reading(chars_[end].c) == nullptr &&
                   (end == i || read_number(chars_, end, mode_).length == 0)) {
                pause = stronger_pause(pause, pause_of(chars_[end].c));
                end = with_marks(end + 1);
            }
            emit(i, end, TokenKind::punctuation, "", pause);
            return end;
        }
        const std::size_t end = with_marks(i + 1);
        emit(i, end, TokenKind::symbol, "");
        return end;
    }

    const Lexicon &lexicon_;
    const std::vector<NormChar> &chars_;
    NumberMode mode_;
    std::vector<Token> &out_;
};

}  // namespace

bool read_text(const Lexicon &lexicon, std::string_view text, NumberMode mode, const TokenSink &sink,
               const std::atomic<bool> *cancel) {
    std::vector<Token> tokens;
    for (std::size_t from = 0; from < text.size();) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return false;
        const std::size_t to = piece_end(text, from);
        const std::vector<NormChar> chars = normalize(text.substr(from, to - from), from, &lexicon);
        tokens.clear();
        Tokenizer(lexicon, chars, mode, tokens).run();
        if (!tokens.empty()) sink(tokens);
        from = to;
    }
    return true;
}

std::vector<Token> read_text(const Lexicon &lexicon, std::string_view text, NumberMode mode) {
    std::vector<Token> all;
    read_text(lexicon, text, mode, [&all](const std::vector<Token> &batch) {
        all.insert(all.end(), batch.begin(), batch.end());
    });
    return all;
}

}  // namespace speech::mandarin
