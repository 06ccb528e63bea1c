// SPDX-License-Identifier: Apache-2.0
// The body of a speech answer, made while it is sent: whatever the format,
// the server holds a bounded part of it at a time.
#ifndef TTS_SERVER_ANSWER_BODY_H
#define TTS_SERVER_ANSWER_BODY_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "api_error.h"
#include "speech_request.h"

namespace tts_server {

class AnswerBody {
  public:
    virtual ~AnswerBody() = default;
    // Appends the next bytes to `out`, waiting for audio as needed; false
    // (and nothing appended) once the body is complete or has failed.
    virtual bool more(std::string &out) = 0;
    // Why the body stopped short, once more() has returned false.
    const std::optional<ApiError> &failure() const { return failure_; }
    // The body's length when known before it is sent.
    virtual std::optional<std::uint64_t> size() const { return std::nullopt; }
    // Seconds of audio made so far.
    virtual double audio_seconds() const = 0;

  protected:
    std::optional<ApiError> failure_;
};

// Whether the client has gone (its work is then stopped).
using Cancelled = std::function<bool()>;

// Begins the answer to `request`. Everything that fails before the first
// byte is an error answer: the session's start and its first block (and,
// for wav, which states its sizes in its header, the whole synthesis).
std::variant<std::unique_ptr<AnswerBody>, ApiError> start_answer(const SpeechRequest &request, Cancelled cancelled);

}  // namespace tts_server

#endif  // TTS_SERVER_ANSWER_BODY_H
