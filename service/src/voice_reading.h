// SPDX-License-Identifier: Apache-2.0
// The reading table for an engine voice named directly: such a voice is
// given the text as it is, so each token reads as the voice's name, a
// colon and the token as the voice is given it.
#ifndef SPEECH_VOICE_READING_H
#define SPEECH_VOICE_READING_H

#include <string>
#include <string_view>

#include "session_config.h"

namespace speech {

// The table of `text` for the session `config` of an engine voice: one
// line per run of text between blanks.
std::string voice_reading_table(const SessionConfig &config, std::string_view text);

}  // namespace speech

#endif  // SPEECH_VOICE_READING_H
