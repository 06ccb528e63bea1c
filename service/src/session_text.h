// SPDX-License-Identifier: Apache-2.0
// A session's text as the service takes it: plain text or an SSML
// document, read with the host's pronunciation lexicons.
#ifndef SPEECH_SESSION_TEXT_H
#define SPEECH_SESSION_TEXT_H

#include <string>
#include <string_view>

#include "session_config.h"
#include "ssml_document.h"

namespace speech {

// Loads the host's lexicons (SPEECH_SERVICE_LEXICONS, then the files of
// the `lexicons` parameter) into `config.lexicons`: 0, or
// SPEECH_ERR_BAD_LEXICON with a message naming the file, line and column.
int load_session_lexicons(SessionConfig &config, std::string &message);

// Whether `text` is taken as SSML under `config`.
bool is_ssml(const SessionConfig &config, std::string_view text);

// Reads the SSML document `text`: 0, or SPEECH_ERR_BAD_SSML with a message
// that gives the line and column.
int parse_document(const SessionConfig &config, std::string_view text, ssml::Document &doc, std::string &message);

// The reading table of `text` (plain or SSML): 0, SPEECH_ERR_BAD_SSML with
// `message`, or SPEECH_ERR_ENGINE_START when the Mandarin lexicon is missing.
int text_reading_table(const SessionConfig &config, std::string_view text, std::string &table, std::string &message);

}  // namespace speech

#endif  // SPEECH_SESSION_TEXT_H
