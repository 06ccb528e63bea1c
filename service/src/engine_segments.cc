// SPDX-License-Identifier: Apache-2.0
#include "engine_segments.h"

#include <new>

#include "digit_reading.h"
#include "speech_service.h"

namespace speech {

int engine_segments(const SessionConfig &config, std::string_view text, std::vector<EngineSegment> &out) {
    out.clear();
    try {
        EngineSegment segment{config.engine_voice, std::string(text)};
        if (config.rdn == 2) segment.text = spell_out_digits(segment.text);
        out.push_back(std::move(segment));
    } catch (const std::bad_alloc &) {
        out.clear();
        return SPEECH_ERR_OUT_OF_MEMORY;
    }
    return SPEECH_OK;
}

}  // namespace speech
