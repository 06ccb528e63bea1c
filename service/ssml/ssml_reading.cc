// SPDX-License-Identifier: Apache-2.0
#include "ssml_reading.h"

#include "lexicon_reading.h"

namespace speech::ssml {
namespace {

using mandarin::Token;
using mandarin::TokenKind;

std::size_t utf8_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

// Each character on its own: a Latin letter by its name, anything else as
// the front end reads it alone (digits one by one).
std::vector<Token> spelt(const mandarin::Lexicon &lexicon, std::string_view text) {
    std::vector<Token> out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = std::min(utf8_length(static_cast<unsigned char>(text[i])), text.size() - i);
        const char c = text[i];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            Token t;
            t.begin = i;
            t.end = i + 1;
            t.kind = TokenKind::english;
            t.reading = std::string("en:") + static_cast<char>(c & ~0x20) + ".";
            out.push_back(std::move(t));
        } else {
            for (Token t : mandarin::read_text(lexicon, text.substr(i, n), mandarin::NumberMode::digits)) {
                t.begin += i;
                t.end += i;
                out.push_back(std::move(t));
            }
        }
        i += n;
    }
    return out;
}

Token pause_at(std::size_t at) {
    Token t;
    t.begin = t.end = at;
    t.kind = TokenKind::punctuation;
    t.pause = "。";
    return t;
}

// Hands a text span's tokens on with the pause of each sentence end before
// the first token after it.
class SentencePauses {
  public:
    SentencePauses(const Span &span, ReadingSink &sink) : span_(span), sink_(sink) {}
    void operator()(const std::vector<Token> &batch) {
        if (next_ >= span_.sentence_ends.size()) return sink_.tokens(span_.text, batch, span_.prosody);
        merged_.clear();
        for (const Token &t : batch) {
            while (next_ < span_.sentence_ends.size() && t.begin >= span_.sentence_ends[next_])
                merged_.push_back(pause_at(span_.sentence_ends[next_++]));
            merged_.push_back(t);
        }
        sink_.tokens(span_.text, merged_, span_.prosody);
    }
    void finish() {
        merged_.clear();
        while (next_ < span_.sentence_ends.size()) merged_.push_back(pause_at(span_.sentence_ends[next_++]));
        if (!merged_.empty()) sink_.tokens(span_.text, merged_, span_.prosody);
    }

  private:
    const Span &span_;
    ReadingSink &sink_;
    std::size_t next_ = 0;
    std::vector<Token> merged_;
};

}  // namespace

bool read_document(const Document &doc, const ReadingSettings &settings, ReadingSink &sink,
                   const std::atomic<bool> *cancel, bool &no_lexicon) {
    no_lexicon = false;
    for (const Span &span : doc.spans) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return false;
        if (span.kind == SpanKind::silence) {
            sink.silence(span.silence_ms);
            continue;
        }
        const std::string &voice = span.voice.empty() ? settings.voice : span.voice;
        const bool mandarin = voice == kMandarin || span.kind == SpanKind::reading;
        if (!mandarin) {
            if (span.kind != SpanKind::sentence_end) sink.voice_text(voice, span.text, span.prosody);
            continue;
        }
        if (span.kind == SpanKind::reading || span.kind == SpanKind::sentence_end) {
            Token t;
            t.end = span.text.size();
            t.kind = span.kind == SpanKind::reading ? TokenKind::pinyin : TokenKind::punctuation;
            t.reading = span.reading;
            if (span.kind == SpanKind::sentence_end) t.pause = "。";
            sink.tokens(span.text, {t}, span.prosody);
            continue;
        }
        if (settings.lexicon == nullptr) {
            no_lexicon = true;
            return false;
        }
        if (span.kind == SpanKind::characters) {
            sink.tokens(span.text, spelt(*settings.lexicon, span.text), span.prosody);
            continue;
        }
        const auto mode = span.number_mode < 0 ? settings.mode : static_cast<mandarin::NumberMode>(span.number_mode);
        SentencePauses pauses(span, sink);
        const bool read = lexicons::read_with_lexicons(
            *settings.lexicon, settings.lexicons, span.text, mode, [&](const std::vector<Token> &batch) { pauses(batch); },
            cancel);
        if (!read) return false;
        pauses.finish();
    }
    return true;
}

}  // namespace speech::ssml
