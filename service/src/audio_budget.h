// SPDX-License-Identifier: Apache-2.0
// How much audio a text asks for, judged before any is made: its pauses
// exactly, its speech from a count of what is said at the fastest rate the
// engine speaks (so that the estimate stays below what is made, and the
// guard on the audio actually made catches the rest).
#ifndef SPEECH_AUDIO_BUDGET_H
#define SPEECH_AUDIO_BUDGET_H

#include <cstdint>
#include <string>
#include <string_view>

#include "session_config.h"
#include "ssml_document.h"

namespace speech {

struct AudioEstimate {
    std::uint64_t pause_ms = 0;   // silences asked for (SSML breaks)
    std::uint64_t speech_ms = 0;  // the least the speech takes
    std::uint64_t total_ms() const { return pause_ms + speech_ms; }
};

AudioEstimate estimate_audio(std::string_view plain_text);
AudioEstimate estimate_audio(const ssml::Document &doc);

// 0 when `estimate` fits the session's max_audio_seconds; else
// SPEECH_ERR_AUDIO_TOO_LONG with the reason in `message`.
int check_audio_budget(const SessionConfig &config, const AudioEstimate &estimate, std::string &message);

// The most audio bytes a session of `config` may deliver.
std::uint64_t audio_byte_limit(const SessionConfig &config);

}  // namespace speech

#endif  // SPEECH_AUDIO_BUDGET_H
