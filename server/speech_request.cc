// SPDX-License-Identifier: Apache-2.0
#include "speech_request.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "pcm_source.h"
#include "shown_text.h"
#include "voice_aliases.h"

namespace tts_server {
namespace {

using nlohmann::json;

// The body with every byte that is not valid UTF-8 replaced by `marker`,
// or "" if all of it is valid.
std::string mark_invalid_utf8(std::string_view body, std::string_view marker) {
    std::string out;
    bool invalid = false;
    for (std::size_t i = 0; i < body.size();) {
        const std::size_t n = tts_text::utf8_sequence(body.substr(i));
        if (n == 0) {
            out += marker;
            invalid = true;
            ++i;
        } else {
            out.append(body.substr(i, n));
            i += n;
        }
    }
    return invalid ? out : std::string();
}

// The 400 for a body that is not valid UTF-8, on the field whose value holds
// the bad bytes when that can be told.
ApiError invalid_utf8(const std::string &marked, std::string_view marker) {
    const json doc = json::parse(marked, nullptr, false);
    if (doc.is_object())
        for (const auto &[key, value] : doc.items())
            if (key.find(marker) == std::string::npos && value.dump().find(marker) != std::string::npos)
                return bad_field(key, "is not valid UTF-8");
    return ApiError{400, "the body is not valid UTF-8", "invalid_request_error", "", "invalid_utf8"};
}

// A whole number in [lo, hi], or the field's error.
bool take_whole(const json &body, const char *field, unsigned lo, unsigned hi, unsigned &out, ApiError &error) {
    const auto it = body.find(field);
    if (it == body.end() || it->is_null()) return true;
    const std::string range = std::to_string(lo) + " to " + std::to_string(hi);
    if (!it->is_number()) {
        error = bad_field(field, "must be a number from " + range);
        return false;
    }
    const double v = it->get<double>();
    if (v != std::floor(v) || v < lo || v > hi) {
        error = bad_field(field, "must be a whole number from " + range);
        return false;
    }
    out = static_cast<unsigned>(v);
    return true;
}

bool take_voice(const json &body, const VoiceAliases *aliases, std::string &voice, ApiError &error) {
    const auto it = body.find("voice");
    if (it == body.end() || it->is_null()) return true;
    if (!it->is_string() || it->get_ref<const std::string &>().empty()) {
        error = bad_field("voice", "must be a voice name (GET /v1/audio/voices lists them)");
        return false;
    }
    const std::string &name = it->get_ref<const std::string &>();
    if (const std::string *mapped = aliases != nullptr ? aliases->find(name) : nullptr) {
        voice = *mapped;
        return true;
    }
    // The name goes into a parameter list: nothing that could end it.
    if (!plain_voice_name(name)) {
        error = bad_field("voice", "unknown voice (GET /v1/audio/voices lists them)");
        return false;
    }
    voice = name;
    return true;
}

bool take_format(const json &body, AudioFormat &format, ApiError &error) {
    const auto it = body.find("response_format");
    if (it == body.end() || it->is_null()) return true;
    const auto named = it->is_string() ? format_named(it->get_ref<const std::string &>()) : std::nullopt;
    if (!named) {
        error = bad_field("response_format", "must be one of " + available_format_names());
        return false;
    }
    format = *named;
    return true;
}

bool take_stream_format(const json &body, bool &sse, ApiError &error) {
    const auto it = body.find("stream_format");
    if (it == body.end() || it->is_null()) return true;
    if (*it == "sse" || *it == "audio") {
        sse = *it == "sse";
        return true;
    }
    error = bad_field("stream_format", "must be audio or sse");
    return false;
}

// After the format, whose rates it depends on: the same message for any
// wrong value.
bool take_rate(const json &body, AudioFormat format, unsigned &rate, ApiError &error) {
    const auto it = body.find("sample_rate");
    if (it == body.end() || it->is_null()) return true;
    const bool whole = it->is_number() && it->get<double>() == std::floor(it->get<double>()) && it->get<double>() >= 0 &&
                       it->get<double>() <= 1e6;
    if (!whole || !rate_allowed(format, static_cast<unsigned>(it->get<double>()))) {
        error = bad_field("sample_rate", rate_message(format));
        return false;
    }
    rate = static_cast<unsigned>(it->get<double>());
    return true;
}

bool take_speed(const json &body, unsigned &speed, ApiError &error) {
    const auto it = body.find("speed");
    if (it == body.end() || it->is_null()) return true;
    if (!it->is_number() || !(it->get<double>() >= 0.25 && it->get<double>() <= 4.0)) {
        error = bad_field("speed", "must be a number from 0.25 to 4.0");
        return false;
    }
    speed = service_speed(it->get<double>());
    return true;
}

}  // namespace

unsigned service_speed(double speed) {
    const double v = std::lround(50.0 + 25.0 * std::log2(speed));
    return static_cast<unsigned>(std::clamp(v, 0.0, 100.0));
}

std::string SpeechRequest::session_params() const {
    return "voice_name = " + voice + ", text_encoding = utf8, sample_rate = " + std::to_string(service_rate(sample_rate)) +
           ", speed = " + std::to_string(speed) + ", volume = " + std::to_string(volume) +
           ", pitch = " + std::to_string(pitch) + ", rdn = " + std::to_string(rdn) +
           (max_audio_seconds != 0 ? ", max_audio_seconds = " + std::to_string(max_audio_seconds) : std::string());
}

std::variant<SpeechRequest, ApiError> parse_speech_request(std::string_view body, std::size_t max_text,
                                                           const VoiceAliases *aliases) {
    // U+FFFF, a noncharacter, marks the bad bytes (unless a client sent it).
    static constexpr std::string_view kMarker = "\xEF\xBF\xBF";
    if (const std::string marked = mark_invalid_utf8(body, kMarker); !marked.empty())
        return invalid_utf8(body.find(kMarker) == std::string_view::npos ? marked : std::string(), kMarker);
    const json doc = json::parse(body, nullptr, false);
    if (doc.is_discarded()) return ApiError{400, "the body is not valid JSON", "invalid_request_error", "", "invalid_json"};
    if (!doc.is_object()) return ApiError{400, "the body must be a JSON object", "invalid_request_error", "", "invalid_json"};

    SpeechRequest r;
    const auto input = doc.find("input");
    if (input == doc.end() || !input->is_string()) return bad_field("input", "is required and must be a string");
    r.input = input->get<std::string>();
    if (r.input.empty()) return bad_field("input", "must not be empty");
    if (r.input.size() > max_text)
        return ApiError{413, "input: the text is longer than " + std::to_string(max_text) + " bytes",
                        "invalid_request_error", "input", "text_too_long"};
    if (r.input.find('\0') != std::string::npos) return bad_field("input", "must not contain a NUL character");

    ApiError error;
    const bool ok = take_voice(doc, aliases, r.voice, error) && take_format(doc, r.format, error) &&
                    take_stream_format(doc, r.sse, error) && take_rate(doc, r.format, r.sample_rate, error) &&
                    take_speed(doc, r.speed, error) && take_whole(doc, "pitch", 0, 100, r.pitch, error) &&
                    take_whole(doc, "volume", 0, 100, r.volume, error) && take_whole(doc, "rdn", 0, 2, r.rdn, error);
    if (!ok) return error;
    return r;
}

}  // namespace tts_server
