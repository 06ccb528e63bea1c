// SPDX-License-Identifier: Apache-2.0
#include "sse_body.h"

extern "C" {
#include <libavutil/base64.h>
}

#include <cmath>
#include <vector>

#include <nlohmann/json.hpp>

namespace tts_server {
namespace {

std::uint64_t characters(const std::string &utf8) {
    std::uint64_t n = 0;
    for (const char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::string base64(const std::string &bytes) {
    std::vector<char> out(AV_BASE64_SIZE(bytes.size()));
    av_base64_encode(out.data(), static_cast<int>(out.size()), reinterpret_cast<const std::uint8_t *>(bytes.data()),
                     static_cast<int>(bytes.size()));
    return out.data();
}

}  // namespace

std::string sse_event(const std::string &json) { return "data: " + json + "\n\n"; }

SseBody::SseBody(std::unique_ptr<AnswerBody> audio, const std::string &input)
    : audio_(std::move(audio)), input_characters_(characters(input)) {}

bool SseBody::more(std::string &out) {
    if (done_) return false;
    piece_.clear();
    if (audio_->more(piece_)) {
        out += sse_event(nlohmann::json{{"type", "speech.audio.delta"}, {"audio", base64(piece_)}}.dump());
        return true;
    }
    done_ = true;
    if (audio_->failure()) {
        // Said in the stream, then the stream is cut as any other.
        failure_ = audio_->failure();
        const ApiError &e = *failure_;
        out += sse_event(nlohmann::json{{"type", "error"},
                                        {"error", {{"message", e.message}, {"type", e.type}, {"code", e.code}}}}
                             .dump());
        return true;
    }
    // The API counts tokens; here input is counted in characters and output
    // in whole seconds of audio.
    const auto seconds = static_cast<std::uint64_t>(std::ceil(audio_->audio_seconds()));
    out += sse_event(nlohmann::json{{"type", "speech.audio.done"},
                                    {"usage",
                                     {{"input_tokens", input_characters_},
                                      {"output_tokens", seconds},
                                      {"total_tokens", input_characters_ + seconds}}}}
                         .dump());
    return true;
}

}  // namespace tts_server
