// SPDX-License-Identifier: Apache-2.0
// An SSML document turned into what is to be said: a flat list of spans,
// each with the voice and prosody in force where it stands.
#ifndef SPEECH_SSML_DOCUMENT_H
#define SPEECH_SSML_DOCUMENT_H

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "safe_xml.h"

namespace speech::ssml {

// The voice name that means the service's Mandarin reading.
inline constexpr const char *kMandarin = "xiaoxin";

// Factors on the session's own rate, pitch and volume.
struct Prosody {
    double rate = 1.0;
    double pitch = 1.0;
    double volume = 1.0;
    bool operator==(const Prosody &o) const { return rate == o.rate && pitch == o.pitch && volume == o.volume; }
    bool operator!=(const Prosody &o) const { return !(*this == o); }
};

enum class SpanKind {
    text,          // `text` read as ordinary text
    characters,    // `text` spelt out character by character
    reading,       // `text` said as the tone-numbered pinyin `reading`
    silence,       // `silence_ms` of silence
    sentence_end,  // the end of a sentence or paragraph after other than text: a pause
};

struct Span {
    SpanKind kind = SpanKind::text;
    std::string text;
    std::string reading;
    int number_mode = -1;  // text: -1 the session's rdn, else 0, 1 or 2
    int silence_ms = 0;
    std::string voice;     // "" the session's voice, kMandarin, or an engine voice
    Prosody prosody;
    // text: where sentences end in it (after a line break added there, so
    // that no word or phrase is read across the end).
    std::vector<std::size_t> sentence_ends;
};

struct Document {
    std::vector<Span> spans;
    // What of the document was accepted but not followed, and why.
    std::vector<std::string> notes;
};

struct Options {
    // Whether the engine can load a voice of this name.
    std::function<bool(const std::string &)> voice_exists;
    // The file names of the lexicons the host registered.
    std::vector<std::string> lexicon_names;
};

// True when `text` starts, after an optional byte-order mark, blanks, an
// XML declaration, with "<speak".
bool looks_like_ssml(std::string_view text);

// Reads the document; false with `error` (line and column) when it is not
// well-formed XML, its root is not speak, or an attribute value is bad.
bool parse_ssml(std::string_view text, const Options &options, Document &out, xml::Error &error);

}  // namespace speech::ssml

#endif  // SPEECH_SSML_DOCUMENT_H
