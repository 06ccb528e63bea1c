// SPDX-License-Identifier: Apache-2.0
// What the engine helper is asked to speak for a session's text: a list of
// segments, each with the engine voice that speaks it, or a silence. Text
// preparation (digit reading, SSML, lexicons, and front ends for particular
// voices) happens here, in the service, so that the helper only synthesises.
#ifndef SPEECH_ENGINE_SEGMENTS_H
#define SPEECH_ENGINE_SEGMENTS_H

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "engine_request.h"
#include "session_config.h"
#include "ssml_document.h"

namespace speech {

using EngineSegment = RequestSegment;

// 0 and the segments the helper speaks for the plain text `text` under
// `config`, or an error code: SPEECH_ERR_INVALID_HANDLE when `cancel` was
// set while the text was read (the session was ended).
int engine_segments(const SessionConfig &config, std::string_view text, std::vector<EngineSegment> &out,
                    const std::atomic<bool> *cancel = nullptr);
// The same for an SSML document (see read_session_text).
int engine_segments(const SessionConfig &config, const ssml::Document &doc, std::vector<EngineSegment> &out,
                    const std::atomic<bool> *cancel = nullptr);

}  // namespace speech

#endif  // SPEECH_ENGINE_SEGMENTS_H
