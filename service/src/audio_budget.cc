// SPDX-License-Identifier: Apache-2.0
#include "audio_budget.h"

#include <cstdio>

#include "speech_service.h"

namespace speech {
namespace {

// The least a unit of speech takes at the engine's fastest rate (450 words
// a minute): a Han character or a digit is at least a syllable; a Latin
// letter a fraction of a word.
constexpr std::uint64_t kSyllableMs = 60;
constexpr std::uint64_t kLetterMs = 15;

std::uint64_t speech_ms(std::string_view text) {
    std::uint64_t ms = 0;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c >= '0' && c <= '9') ms += kSyllableMs;
            else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') ms += kLetterMs;
            ++i;
            continue;
        }
        const std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        // U+3400..U+9FFF (and the planes above): CJK ideographs, one syllable each.
        if ((c == 0xE3 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x90) ||
            (c >= 0xE4 && c <= 0xE9) || c == 0xF0)
            ms += kSyllableMs;
        else if (len == 2)
            ms += kLetterMs;  // accented Latin, Greek, Cyrillic...
        i += len;
    }
    return ms;
}

}  // namespace

AudioEstimate estimate_audio(std::string_view plain_text) {
    AudioEstimate e;
    e.speech_ms = speech_ms(plain_text);
    return e;
}

AudioEstimate estimate_audio(const ssml::Document &doc) {
    AudioEstimate e;
    for (const ssml::Span &span : doc.spans) {
        if (span.kind == ssml::SpanKind::silence) e.pause_ms += static_cast<std::uint64_t>(span.silence_ms);
        else e.speech_ms += speech_ms(span.text);
    }
    return e;
}

int check_audio_budget(const SessionConfig &config, const AudioEstimate &estimate, std::string &message) {
    const std::uint64_t limit_ms = static_cast<std::uint64_t>(config.max_audio_seconds) * 1000;
    if (estimate.total_ms() <= limit_ms) return SPEECH_OK;
    char text[200];
    std::snprintf(text, sizeof text,
                  "the text asks for at least %.1f s of audio (%.1f s of it pauses), more than max_audio_seconds = %d",
                  static_cast<double>(estimate.total_ms()) / 1000, static_cast<double>(estimate.pause_ms) / 1000,
                  config.max_audio_seconds);
    message = text;
    return SPEECH_ERR_AUDIO_TOO_LONG;
}

std::uint64_t audio_byte_limit(const SessionConfig &config) {
    return static_cast<std::uint64_t>(config.max_audio_seconds) * static_cast<std::uint64_t>(config.sample_rate) * 2;
}

}  // namespace speech
