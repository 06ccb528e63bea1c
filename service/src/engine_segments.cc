// SPDX-License-Identifier: Apache-2.0
#include "engine_segments.h"

#include <new>

#include "digit_reading.h"
#include "engine_text.h"
#include "han_reader.h"
#include "speech_service.h"

namespace speech {

int engine_segments(const SessionConfig &config, std::string_view text, std::vector<EngineSegment> &out,
                    const std::atomic<bool> *cancel) {
    out.clear();
    try {
        if (config.mandarin_front_end) {
            const mandarin::Lexicon *lexicon = mandarin::default_lexicon();
            if (lexicon == nullptr) return SPEECH_ERR_ENGINE_START;
            for (mandarin::VoiceText &s :
                 mandarin::engine_text(*lexicon, text, static_cast<mandarin::NumberMode>(config.rdn), cancel))
                out.push_back(EngineSegment{std::move(s.voice), std::move(s.text)});
            if (cancel != nullptr && cancel->load()) {
                out.clear();
                return SPEECH_ERR_INVALID_HANDLE;
            }
            return SPEECH_OK;
        }
        EngineSegment segment{config.engine_voice, std::string(text)};
        if (config.rdn == 2) segment.text = spell_out_digits(segment.text);
        out.push_back(std::move(segment));
    } catch (const std::bad_alloc &) {
        out.clear();
        return SPEECH_ERR_OUT_OF_MEMORY;
    } catch (...) {
        out.clear();
        return SPEECH_ERR_SYSTEM;  // no exception leaves the text's preparation
    }
    return SPEECH_OK;
}

}  // namespace speech
