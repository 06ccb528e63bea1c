// SPDX-License-Identifier: Apache-2.0
// A session's text as the service takes it: plain text or an SSML
// document, read with the host's pronunciation lexicons.
#ifndef SPEECH_SESSION_TEXT_H
#define SPEECH_SESSION_TEXT_H

#include <optional>
#include <string>
#include <string_view>

#include "session_config.h"
#include "ssml_document.h"
#include "ssml_reading.h"

namespace speech {

// Loads the host's lexicons (SPEECH_SERVICE_LEXICONS, then the files of
// the `lexicons` parameter) into `config.lexicons`: 0, or
// SPEECH_ERR_BAD_LEXICON with a message naming the file, line and column.
int load_session_lexicons(SessionConfig &config, std::string &message);

// A text as the service reads it, decided once: plain, or the SSML
// document parsed from it. Everything below takes it as it is.
struct SessionText {
    std::string_view plain;  // the text itself, when there is no document
    std::optional<ssml::Document> document;
};

// Decides whether `text` is SSML under `config` and, if so, parses it:
// 0, or SPEECH_ERR_BAD_SSML with a message that gives the line and column.
// `message` also carries the notes of a document that parsed.
int read_session_text(const SessionConfig &config, std::string_view text, SessionText &out, std::string &message);

// How a document is read under `config`: the Mandarin lexicon, the host's
// lexicons, the digit reading and the voice.
ssml::ReadingSettings document_reading_settings(const SessionConfig &config);

// The reading table of a text: 0, or SPEECH_ERR_ENGINE_START when the
// Mandarin lexicon is missing.
int text_reading_table(const SessionConfig &config, const SessionText &text, std::string &table);

}  // namespace speech

#endif  // SPEECH_SESSION_TEXT_H
