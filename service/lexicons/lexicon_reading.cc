// SPDX-License-Identifier: Apache-2.0
#include "lexicon_reading.h"

#include <vector>

namespace speech::lexicons {
namespace {

using mandarin::Token;

// Reads `text[from, to)` with the front end, its tokens moved to `text`'s offsets.
bool read_run(const mandarin::Lexicon &lexicon, std::string_view text, std::size_t from, std::size_t to,
              mandarin::NumberMode mode, const mandarin::TokenSink &sink, const std::atomic<bool> *cancel) {
    if (from == to) return true;
    std::vector<Token> shifted;
    return mandarin::read_text(lexicon, text.substr(from, to - from), mode,
                               [&](const std::vector<Token> &batch) {
                                   shifted = batch;
                                   for (Token &t : shifted) {
                                       t.begin += from;
                                       t.end += from;
                                   }
                                   sink(shifted);
                               },
                               cancel);
}

std::vector<Token> entry_tokens(const mandarin::Lexicon &lexicon, const Entry &e, std::size_t begin,
                                mandarin::NumberMode mode) {
    const std::size_t end = begin + e.grapheme.size();
    std::vector<Token> out;
    if (!e.alias) {
        Token t;
        t.begin = begin;
        t.end = end;
        t.kind = mandarin::TokenKind::pinyin;
        t.reading = std::string(e.said);
        out.push_back(std::move(t));
        return out;
    }
    out = mandarin::read_text(lexicon, e.said, mode);
    if (out.empty()) out.emplace_back();
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i].begin = i == 0 ? begin : end;
        out[i].end = end;
    }
    return out;
}

}  // namespace

bool read_with_lexicons(const mandarin::Lexicon &lexicon, const LexiconSet *lexicons, std::string_view text,
                        mandarin::NumberMode mode, const mandarin::TokenSink &sink, const std::atomic<bool> *cancel) {
    if (lexicons == nullptr || lexicons->empty()) return mandarin::read_text(lexicon, text, mode, sink, cancel);
    std::size_t run = 0;
    Entry e;
    for (std::size_t pos = 0; pos < text.size();) {
        if (!lexicons->may_start(static_cast<unsigned char>(text[pos])) || !lexicons->longest_at(text, pos, e)) {
            ++pos;
            continue;
        }
        if (!read_run(lexicon, text, run, pos, mode, sink, cancel)) return false;
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return false;
        sink(entry_tokens(lexicon, e, pos, mode));
        pos += e.grapheme.size();
        run = pos;
    }
    return read_run(lexicon, text, run, text.size(), mode, sink, cancel);
}

}  // namespace speech::lexicons
