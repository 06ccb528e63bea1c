// SPDX-License-Identifier: Apache-2.0
#include "engine_output.h"

#include <algorithm>
#include <cstring>

#include "engine_protocol.h"

namespace speech {

void EngineOutput::expect_frames() {
    magic_got_ = kMagicDone;
    state_ = State::kHeader;
}

bool EngineOutput::feed(const char *data, std::size_t len, Sink &sink) {
    while (len > 0) {
        switch (state_) {
            case State::kMagic: {
                const std::size_t take = std::min(len, kEngineMagicLen - magic_got_);
                if (std::memcmp(data, kEngineMagic + magic_got_, take) != 0) return false;
                magic_got_ += take;
                data += take;
                len -= take;
                if (magic_got_ == kEngineMagicLen) {
                    magic_got_ = kMagicDone;
                    state_ = State::kHeader;
                }
                break;
            }
            case State::kHeader: {
                const std::size_t take = std::min(len, kFrameHeaderLen - header_got_);
                std::memcpy(header_ + header_got_, data, take);
                header_got_ += take;
                data += take;
                len -= take;
                if (header_got_ < kFrameHeaderLen) break;
                header_got_ = 0;
                left_ = 0;
                for (int i = 0; i < 4; ++i) left_ |= static_cast<std::uint32_t>(header_[1 + i]) << (8 * i);
                if (header_[0] == kFrameAudio && left_ <= kMaxAudioFrame) {
                    state_ = State::kAudio;
                } else if (header_[0] == kFrameEnd && left_ >= 4 && left_ <= 4 + kMaxEndMessage) {
                    state_ = State::kEnd;
                } else {
                    return false;
                }
                break;
            }
            case State::kAudio: {
                const std::size_t take = std::min<std::size_t>(len, left_);
                sink.audio(data, take);
                audio_bytes_ += take;
                data += take;
                len -= take;
                left_ -= static_cast<std::uint32_t>(take);
                if (left_ == 0) state_ = State::kHeader;
                break;
            }
            case State::kEnd: {
                const std::size_t take = std::min<std::size_t>(len, left_);
                end_payload_.append(data, take);
                data += take;
                len -= take;
                left_ -= static_cast<std::uint32_t>(take);
                if (left_ > 0) break;
                std::uint32_t r = 0;
                for (int i = 0; i < 4; ++i) r |= static_cast<std::uint32_t>(static_cast<unsigned char>(end_payload_[i])) << (8 * i);
                result_ = static_cast<int>(r);
                message_ = end_payload_.substr(4);
                state_ = State::kEnded;
                break;
            }
            case State::kEnded:
                return false;
        }
    }
    // An audio frame of zero bytes ends at once.
    if (state_ == State::kAudio && left_ == 0) state_ = State::kHeader;
    return true;
}

}  // namespace speech
