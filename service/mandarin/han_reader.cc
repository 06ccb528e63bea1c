// SPDX-License-Identifier: Apache-2.0
// Segmentation by the most probable path through the lexicon's words (a
// DAG of the words found at each character, solved by dynamic programming
// from the end), then the reading of each character from its word.
#include "han_reader.h"

#include <limits>

#include "lexicon.h"
#include "polyphone_model.h"
#include "polyphone_reader.h"
#include "reading_context.h"

namespace speech::mandarin {

bool is_han(char32_t c) {
    return (c >= 0x4E00 && c <= 0x9FFF) ||    // unified ideographs
           (c >= 0x3400 && c <= 0x4DBF) ||    // extension A
           (c >= 0x20000 && c <= 0x2A6DF) ||  // extension B
           (c >= 0x2A700 && c <= 0x2EBEF) ||  // extensions C to F
           (c >= 0x2EBF0 && c <= 0x2EE5F) ||  // extension I
           (c >= 0x30000 && c <= 0x323AF) ||  // extensions G and H
           (c >= 0xF900 && c <= 0xFAFF) ||    // compatibility ideographs
           (c >= 0x2F800 && c <= 0x2FA1F) ||  // compatibility supplement
           c == 0x3007;                       // 〇
}

char32_t to_simplified(const Lexicon &lexicon, char32_t c) { return lexicon.simplified(c); }

bool RunReading::word_is(std::size_t i, std::u32string_view w) const {
    if (i >= chars.size()) return false;
    std::size_t start = word_starts[chars[i].word];
    std::size_t length = word_lengths[chars[i].word];
    if (length != w.size()) return false;
    for (std::size_t k = 0; k < length; ++k)
        if (chars[start + k].c != w[k]) return false;
    return true;
}

std::u32string RunReading::word_from(std::size_t i) const {
    std::u32string w;
    if (i >= chars.size()) return w;
    std::size_t word = chars[i].word;
    for (std::size_t k = i; k < chars.size() && chars[k].word == word; ++k) w.push_back(chars[k].c);
    return w;
}

std::u32string RunReading::word_of(std::size_t i) const {
    if (i >= chars.size()) return {};
    return word_from(word_starts[chars[i].word]);
}

char32_t RunReading::seen(std::ptrdiff_t i) const {
    const auto n = static_cast<std::ptrdiff_t>(chars.size());
    if (i >= 0 && i < n) return chars[static_cast<std::size_t>(i)].c;
    const RunSide &side = i < 0 ? edges.before : edges.after;
    const std::ptrdiff_t away = i < 0 ? -i : i - n + 1;  // 1: the first character outside
    switch (side.kind) {
        case RunSide::number: return away == 1 ? kSeenNumber : U'\0';
        case RunSide::ordinal: return away == 1 ? kSeenNumber : away == 2 ? U'第' : U'\0';
        case RunSide::han: return away == 1 ? side.han_char : U'\0';
        case RunSide::word: return away == 1 ? kSeenWord : U'\0';
        case RunSide::phrase_edge: break;
    }
    return U'\0';
}

char RunReading::tone_after(std::size_t i) const {
    if (i + 1 < chars.size()) return chars[i + 1].syllable.empty() ? '0' : chars[i + 1].syllable.back();
    return edges.after_tone;
}

bool can_read_as(const Lexicon &lexicon, char32_t c, std::string_view syllable) {
    std::uint16_t index = lexicon.char_index(c);
    for (std::size_t k = 0, n = lexicon.reading_count(index); k < n; ++k)
        if (lexicon.syllable(lexicon.reading(index, k).syllable) == syllable) return true;
    return false;
}

namespace {

// The word lengths of the most probable segmentation of `index`.
std::vector<std::size_t> segment(const Lexicon &lexicon, const std::vector<std::uint16_t> &index) {
    const std::size_t n = index.size();
    std::vector<std::uint64_t> best(n + 1, 0);
    std::vector<std::size_t> length(n + 1, 1);
    const std::size_t max_word = lexicon.max_word();
    for (std::size_t i = n; i-- > 0;) {
        std::uint64_t cost = std::uint64_t{lexicon.unknown_cost()} + best[i + 1];
        std::size_t chosen = 1;
        if (index[i] != kNoChar) {
            format::WordHash hash;
            for (std::size_t j = i; j < n && j - i < max_word && index[j] != kNoChar; ++j) {
                hash.add(index[j]);
                WordEntry e = lexicon.find(&index[i], j - i + 1, hash.value);
                if (!e.found) break;
                if (e.is_word) {
                    std::uint64_t c = std::uint64_t{e.cost} + best[j + 1];
                    if (c < cost || (j == i && c <= cost)) {
                        cost = c;
                        chosen = j - i + 1;
                    }
                }
                if (!e.is_prefix) break;
            }
        }
        best[i] = cost;
        length[i] = chosen;
    }
    std::vector<std::size_t> lengths;
    for (std::size_t i = 0; i < n; i += length[i]) lengths.push_back(length[i]);
    return lengths;
}

}  // namespace

bool has_polyphone_model(const Lexicon &lexicon) { return lexicon.polyphone_model() != nullptr; }

std::vector<HanWord> read_han(const Lexicon &lexicon, std::u32string_view text, const RunEdges &edges,
                              const Sentence *sentence) {
    std::vector<HanWord> words;
    if (text.empty()) return words;
    std::vector<std::uint16_t> index(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) index[i] = lexicon.char_index(text[i]);

    RunReading run;
    run.lexicon = &lexicon;
    run.edges = edges;
    if (edges.after.kind == RunSide::han && edges.after_tone == '0') {
        // The rest of a long run is not read yet: its character's usual reading.
        const std::uint16_t next = lexicon.char_index(edges.after.han_char);
        if (lexicon.reading_count(next) > 0) {
            const std::string_view s = lexicon.syllable(lexicon.reading(next, 0).syllable);
            if (!s.empty()) run.edges.after_tone = s.back();
        }
    }
    run.chars.resize(text.size());
    std::size_t start = 0;
    for (std::size_t length : segment(lexicon, index)) {
        std::size_t word = run.word_starts.size();
        run.word_starts.push_back(start);
        run.word_lengths.push_back(length);
        WordEntry entry = length > 1 ? lexicon.find(&index[start], length) : WordEntry{};
        for (std::size_t k = 0; k < length; ++k) {
            CharReading &cr = run.chars[start + k];
            cr.c = text[start + k];
            cr.word = word;
            cr.in_word = k;
            cr.word_cost = entry.cost;
            std::string_view s = lexicon.syllable(entry.syllable(k));
            if (!s.empty()) {
                cr.syllable = s;
                cr.source = entry.derived ? Source::derived : Source::word;
            } else if (lexicon.reading_count(index[start + k]) > 0) {
                cr.syllable = lexicon.syllable(lexicon.reading(index[start + k], 0).syllable);
                cr.source = cr.syllable.empty() ? Source::none : Source::character;
            }
        }
        start += length;
    }

    apply_context_rules(run);
    if (sentence != nullptr && lexicon.polyphone_model() != nullptr) {
        // The states of the last sentence read on this thread: its other
        // runs need no new pass.
        thread_local SentenceModel states;
        states.start(*lexicon.polyphone_model(), sentence->chars);
        ModelView view;
        view.sentence = &states;
        view.offset = sentence->offset;
        view.combine = sentence->model_decides;
        apply_polyphone_model(run, view);
    }
    apply_tone_changes(run);

    words.reserve(run.word_starts.size());
    for (std::size_t w = 0; w < run.word_starts.size(); ++w) {
        HanWord word;
        word.length = run.word_lengths[w];
        word.syllables.reserve(word.length);
        word.notes.reserve(word.length);
        for (std::size_t k = 0; k < word.length; ++k) {
            CharReading &cr = run.chars[run.word_starts[w] + k];
            word.syllables.push_back(std::move(cr.syllable));
            word.notes.push_back(CharNote{cr.source, cr.model_syllable, cr.model_probability, cr.rule_probability, cr.word_cost});
        }
        words.push_back(std::move(word));
    }
    return words;
}

}  // namespace speech::mandarin
