// SPDX-License-Identifier: Apache-2.0
// Reads the helper's output (engine_protocol.h) as it arrives: the magic,
// audio frames and the end frame with the helper's own result.
#ifndef SPEECH_ENGINE_OUTPUT_H
#define SPEECH_ENGINE_OUTPUT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace speech {

class EngineOutput {
  public:
    // Receives the audio bytes of the frames, in order.
    struct Sink {
        virtual void audio(const char *data, std::size_t len) = 0;

      protected:
        ~Sink() = default;
    };

    // Takes the next bytes of output; false when they break the protocol
    // (anything after the end frame does too).
    bool feed(const char *data, std::size_t len, Sink &sink);
    // For a helper that wrote its magic line for an earlier session: its
    // output starts with frames.
    void expect_frames();

    bool ready() const { return magic_got_ == kMagicDone; }
    // The end frame was read: result() and message() hold what it said.
    bool ended() const { return state_ == State::kEnded; }
    int result() const { return result_; }
    const std::string &message() const { return message_; }
    std::uint64_t audio_bytes() const { return audio_bytes_; }

  private:
    enum class State { kMagic, kHeader, kAudio, kEnd, kEnded };
    static constexpr std::size_t kMagicDone = static_cast<std::size_t>(-1);

    State state_ = State::kMagic;
    std::size_t magic_got_ = 0;
    unsigned char header_[5] = {};
    std::size_t header_got_ = 0;
    std::uint32_t left_ = 0;  // payload bytes of the current frame still to come
    std::string end_payload_;
    int result_ = -1;
    std::string message_;
    std::uint64_t audio_bytes_ = 0;
};

}  // namespace speech

#endif  // SPEECH_ENGINE_OUTPUT_H
