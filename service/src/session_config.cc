// SPDX-License-Identifier: Apache-2.0
#include "session_config.h"

#include <tuple>
#include <vector>

#include "lexicon_files.h"
#include "lexicon_set.h"
#include "param_list.h"
#include "speech_service.h"
#include "voice_catalog.h"

namespace speech {
namespace {

constexpr int kRateMin = 80, kRateNormal = 175, kRateMax = 450;

// Reads an optional 0..100 (or 0..`max`) setting; 0 or an error code.
int read_level(const std::vector<Param> &params, const char *key, int max, int &out) {
    const std::string *v = find_param(params, key);
    if (v == nullptr) return SPEECH_OK;
    int n = 0;
    if (!parse_small_uint(*v, n) || n > max) return SPEECH_ERR_OUT_OF_RANGE;
    out = n;
    return SPEECH_OK;
}

}  // namespace

int parse_session_config(const char *params, SessionConfig &out) { return parse_session_config(params, nullptr, out); }

int parse_session_config(const char *params, const char *host_params, SessionConfig &out) {
    out = SessionConfig{};
    std::vector<Param> list, host_list;
    if (!parse_param_list(params == nullptr ? "" : params, list)) return SPEECH_ERR_MALFORMED_PARAMS;
    if (host_params != nullptr && !parse_param_list(host_params, host_list)) return SPEECH_ERR_MALFORMED_PARAMS;
    list.insert(list.end(), host_list.begin(), host_list.end());  // the last pair of a key wins

    if (const std::string *voice = find_param(list, "voice_name")) {
        out.engine_voice = *voice == kServiceVoice ? kMandarinVoice : *voice;
        out.mandarin_front_end = *voice == kServiceVoice;
        if (!engine_voice_exists(out.engine_voice)) return SPEECH_ERR_UNKNOWN_VOICE;
    }
    if (const std::string *enc = find_param(list, "text_encoding")) {
        if (*enc != "utf8") return SPEECH_ERR_BAD_ENCODING;
    }
    if (const std::string *rate = find_param(list, "sample_rate")) {
        if (*rate == "16000") out.sample_rate = 16000;
        else if (*rate == "8000") out.sample_rate = 8000;
        else return SPEECH_ERR_BAD_SAMPLE_RATE;
    }
    if (const std::string *type = find_param(list, "text_type")) {
        if (*type == "ssml") out.text_type = TextType::ssml;
        else if (*type == "text") out.text_type = TextType::text;
        else return SPEECH_ERR_OUT_OF_RANGE;
    }
    if (const std::string *files = find_param(list, "lexicons")) out.lexicon_files = tts::split_paths(*files);
    for (auto [key, max, field] : {std::make_tuple("speed", 100, &out.speed), std::make_tuple("volume", 100, &out.volume),
                                   std::make_tuple("pitch", 100, &out.pitch), std::make_tuple("rdn", 2, &out.rdn),
                                   std::make_tuple("show_readers", 1, &out.show_readers)}) {
        if (const int rc = read_level(list, key, max, *field)) return rc;
    }
    if (const std::string *v = find_param(list, "max_audio_seconds")) {
        int n = 0;
        if (!parse_small_uint(*v, n) || n < 1 || n > 86400) return SPEECH_ERR_OUT_OF_RANGE;
        out.max_audio_seconds = n;
    }
    return SPEECH_OK;
}

int engine_rate(int speed) {
    if (speed <= 50) return kRateMin + (kRateNormal - kRateMin) * speed / 50;
    return kRateNormal + (kRateMax - kRateNormal) * (speed - 50) / 50;
}

int engine_volume(int volume) { return volume * 2; }

int engine_pitch(int pitch) { return pitch; }

}  // namespace speech
