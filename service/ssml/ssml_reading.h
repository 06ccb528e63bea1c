// SPDX-License-Identifier: Apache-2.0
// An SSML document read out: its spans become Mandarin tokens (through the
// front end and the host's lexicons), text for engine voices, and silences,
// handed in order to a sink (the reading table, or the engine's segments).
#ifndef SPEECH_SSML_READING_H
#define SPEECH_SSML_READING_H

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "front_end.h"
#include "lexicon_set.h"
#include "ssml_document.h"

namespace speech::ssml {

class ReadingSink {
  public:
    virtual ~ReadingSink() = default;
    // Mandarin tokens of `text` (their offsets are into it).
    virtual void tokens(std::string_view text, const std::vector<mandarin::Token> &tokens, const Prosody &p) = 0;
    // Text that the engine voice `voice` reads as it is.
    virtual void voice_text(const std::string &voice, std::string_view text, const Prosody &p) = 0;
    virtual void silence(int ms) = 0;
};

struct ReadingSettings {
    const mandarin::Lexicon *lexicon = nullptr;  // needed for Mandarin spans
    const lexicons::LexiconSet *lexicons = nullptr;
    mandarin::NumberMode mode = mandarin::NumberMode::by_context;
    std::string voice = kMandarin;  // the session's voice
};

// Reads `doc` into `sink`. False when the reading was cancelled, or when a
// span needs Mandarin and there is no lexicon (`no_lexicon` is then set).
bool read_document(const Document &doc, const ReadingSettings &settings, ReadingSink &sink,
                   const std::atomic<bool> *cancel, bool &no_lexicon);

}  // namespace speech::ssml

#endif  // SPEECH_SSML_READING_H
