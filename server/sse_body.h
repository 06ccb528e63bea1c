// SPDX-License-Identifier: Apache-2.0
// stream_format "sse": the answer's bytes as server-sent events, each
// {"type":"speech.audio.delta","audio":BASE64}, then one
// {"type":"speech.audio.done","usage":{...}} (or an "error" event when the
// audio stops short). The deltas joined are the body the same request
// gets without SSE.
#ifndef TTS_SERVER_SSE_BODY_H
#define TTS_SERVER_SSE_BODY_H

#include <memory>
#include <string>

#include "answer_body.h"

namespace tts_server {

class SseBody : public AnswerBody {
  public:
    SseBody(std::unique_ptr<AnswerBody> audio, const std::string &input);
    bool more(std::string &out) override;
    double audio_seconds() const override { return audio_->audio_seconds(); }

  private:
    std::unique_ptr<AnswerBody> audio_;
    const std::uint64_t input_characters_;
    std::string piece_;
    bool done_ = false;
};

// The "data: JSON" event of `event` with its blank line.
std::string sse_event(const std::string &json);

}  // namespace tts_server

#endif  // TTS_SERVER_SSE_BODY_H
