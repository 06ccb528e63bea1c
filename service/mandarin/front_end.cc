// SPDX-License-Identifier: Apache-2.0
#include "front_end.h"

#include <algorithm>
#include <cstdio>

#include "han_reader.h"
#include "latin_words.h"
#include "normalize.h"
#include "number_words.h"
#include "symbols.h"
#include "text_pieces.h"

namespace speech::mandarin {
namespace {

// Runs of Han characters longer than this are read in parts.
constexpr std::size_t kMaxHanRun = 4096;
// The polyphone model reads at most this many characters of a sentence.
constexpr std::size_t kModelWindow = 256;

// The end of a sentence for the polyphone model.
bool ends_sentence(char32_t c) {
    return is_line_break(c) || std::u32string_view(U"。！？!?；;…").find(c) != std::u32string_view::npos;
}

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
        : lexicon_(lexicon), chars_(chars), mode_(mode), out_(out) {
        with_model_ = has_polyphone_model(lexicon);
    }

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
        last_from_ = from;
    }

    // Combining marks and joiners after `i` belong to the token before them.
    std::size_t with_marks(std::size_t i) const {
        while (i < chars_.size() && chars_[i].cls == CharClass::mark) ++i;
        return i;
    }

    // A word of `n` characters from `k`. Characters the lexicon has no
    // reading for are tokens of their own with an empty reading.
    void emit_word(std::size_t k, std::size_t n, const HanWord &word) {
        const std::vector<std::string> &syllables = word.syllables;
        std::size_t from = k;
        std::string reading, readers;
        for (std::size_t s = 0; s < n; ++s) {
            const bool known = s < syllables.size() && is_syllable(syllables[s]);
            if (known) {
                if (!reading.empty()) reading += ' ';
                reading += syllables[s];
                if (!readers.empty()) readers += ' ';
                if (s < word.notes.size()) append_reader(word.notes[s], readers);
                continue;
            }
            if (!reading.empty()) {
                emit(from, k + s, TokenKind::han, std::move(reading));
                out_.back().readers = std::move(readers);
            }
            reading.clear();
            readers.clear();
            emit(k + s, k + s + 1, TokenKind::han, "");
            from = k + s + 1;
        }
        if (!reading.empty()) {
            emit(from, k + n, TokenKind::han, std::move(reading));
            out_.back().readers = std::move(readers);
        }
    }

    static void append_reader(const CharNote &note, std::string &out) {
        out += source_name(note.source);
        if (note.model_syllable.empty()) return;
        if (note.source != Source::model) {
            out += ':';
            out += note.model_syllable;
        }
        char probability[16];
        std::snprintf(probability, sizeof probability, "=%.2f", static_cast<double>(note.model_probability));
        out += probability;
    }

    std::size_t han(std::size_t i) {
        std::size_t end = i;
        while (end < chars_.size() && chars_[end].cls == CharClass::han && end - i < kMaxHanRun) ++end;
        std::u32string run;
        run.reserve(end - i);
        for (std::size_t k = i; k < end; ++k) run += chars_[k].c;
        RunEdges edges;
        edges.before = side_before(i);
        edges.after = side_after(end, edges.after_tone);
        std::size_t k = i;
        const Sentence *sentence = sentence_of(i);
        for (const HanWord &word : read_han(lexicon_, run, edges, sentence)) {
            const std::size_t n = std::min(word.length, end - k);
            emit_word(k, n, word);
            k += n;
        }
        // A reader that left characters out: they are not spoken.
        for (; k < end; ++k) emit(k, k + 1, TokenKind::han, "");
        return end;
    }

    // The sentence of the Han run that starts at chars_[i], for the
    // polyphone model: from the last sentence end before it to the next,
    // at most kModelWindow characters.
    const Sentence *sentence_of(std::size_t i) {
        if (!with_model_) return nullptr;
        if (i >= sentence_to_) {
            std::size_t from = i;
            while (from > sentence_to_ && !ends_sentence(chars_[from - 1].c) && i - from < kModelWindow / 2) --from;
            std::size_t to = i;
            while (to < chars_.size() && to - from < kModelWindow && !ends_sentence(chars_[to].c)) ++to;
            if (to < chars_.size() && to - from < kModelWindow) ++to;  // with its end mark
            sentence_chars_.clear();
            sentence_at_.assign(to - from, 0);
            for (std::size_t k = from; k < to; ++k) {
                sentence_at_[k - from] = sentence_chars_.size();
                const CharClass cls = chars_[k].cls;
                if (cls != CharClass::separator && cls != CharClass::mark) sentence_chars_ += chars_[k].c;
            }
            sentence_from_ = from;
            sentence_to_ = to;
        }
        sentence_.chars = sentence_chars_;
        sentence_.offset = sentence_at_[i - sentence_from_];
        return &sentence_;
    }

    // What a Han run that starts at i has before it. A blank before a number
    // or a Latin word is only spacing (你还 3 岁吗); one between Han
    // characters is where the writer paused, as a line break is.
    RunSide side_before(std::size_t i) const {
        std::size_t k = i;
        for (; k > 0 && chars_[k - 1].cls == CharClass::separator; --k)
            if (is_line_break(chars_[k - 1].c)) return {};
        if (k == 0 || out_.empty()) return {};
        if (chars_[k - 1].cls == CharClass::han) return k == i ? RunSide{RunSide::han, chars_[k - 1].c} : RunSide{};
        const Token &t = out_.back();
        switch (t.kind) {
            case TokenKind::number: {
                std::size_t m = k;
                while (m > 0 && chars_[m - 1].cls == CharClass::mark) --m;
                if (m == 0 || chars_[m - 1].cls != CharClass::digit) return {RunSide::word};  // 5%, 5 kg
                return {ordinal_before(chars_, last_from_) ? RunSide::ordinal : RunSide::number};
            }
            case TokenKind::english:
            case TokenKind::pinyin: return {RunSide::word};
            case TokenKind::symbol: return t.reading.empty() ? RunSide{} : RunSide{RunSide::word};
            default: return {};
        }
    }

    // What a Han run that ends before `end` has after it, and the tone of
    // what is said there first when that is a number.
    RunSide side_after(std::size_t end, char &tone) {
        std::size_t k = end;
        for (; k < chars_.size() && chars_[k].cls == CharClass::separator; ++k)
            if (is_line_break(chars_[k].c)) return {};
        if (k >= chars_.size()) return {};
        const NormChar &ch = chars_[k];
        if (ch.cls == CharClass::han) return k == end ? RunSide{RunSide::han, ch.c} : RunSide{};
        if (ch.cls == CharClass::latin) return {RunSide::word};
        if (ch.cls == CharClass::mark) return {};
        if (range_sign_after_unit(chars_, k)) {
            tone = '4';  // dao4
            return {RunSide::word};
        }
        const NumberReading &n = number_at(k);
        if (n.length > 0) {
            const std::size_t blank = n.reading.find(' ');
            const std::size_t last = blank == std::string::npos ? n.reading.size() : blank;
            if (last > 0) tone = n.reading[last - 1];
            return {ch.cls == CharClass::digit ? RunSide::number : RunSide::word};
        }
        if (symbol_reading(ch.c) != nullptr) return {RunSide::word};
        return {};
    }

    // The number at chars_[k]: a Han run before it reads it first for its
    // tone, then its own token takes it from here.
    const NumberReading &number_at(std::size_t k) {
        if (number_from_ != k) {
            number_ = read_number(chars_, k, mode_);
            number_from_ = k;
        }
        return number_;
    }

    std::size_t number(std::size_t i) {
        const NumberReading n = number_at(i);
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
        if (range_sign_after_unit(chars_, i)) {
            const std::size_t end = with_marks(i + 1);
            emit(i, end, TokenKind::symbol, "dao4");
            return end;
        }
        if (ch.cls != CharClass::mark) {
            const NumberReading n = number_at(i);  // -5, ¥20
            if (n.length > 0) {
                const std::size_t end = with_marks(i + n.length);
                emit(i, end, TokenKind::number, n.reading);
                return end;
            }
            if (said_with_number_apart(chars_, i)) {  // ¥ 120, 5 %: the number says it
                const std::size_t end = with_marks(i + 1);
                emit(i, end, TokenKind::symbol, "");
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
    std::size_t last_from_ = 0;  // where the last token emitted starts
    NumberReading number_;
    std::size_t number_from_ = static_cast<std::size_t>(-1);
    bool with_model_ = false;  // a polyphone model is installed
    Sentence sentence_;
    std::u32string sentence_chars_;
    std::size_t sentence_from_ = 0, sentence_to_ = 0;  // chars_ of the sentence
    std::vector<std::size_t> sentence_at_;             // their place in it
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
