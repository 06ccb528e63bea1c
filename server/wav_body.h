// SPDX-License-Identifier: Apache-2.0
// A WAV answer states its sizes in its header, so the audio is all made
// before the first byte goes out: in memory while it is small, past that in
// an unnamed temporary file, so that a long answer costs disk, not memory.
#ifndef TTS_SERVER_WAV_BODY_H
#define TTS_SERVER_WAV_BODY_H

#include <cstddef>
#include <memory>
#include <string>
#include <variant>

#include "answer_body.h"
#include "pcm_source.h"

namespace tts_server {

// Audio kept in memory before it goes to a file: about 87 s at 24 kHz.
constexpr std::size_t kWavMemoryBytes = 4 << 20;

// The whole WAV file of what `source` makes; an error answer when the
// synthesis fails, the client goes or the file cannot be written.
// `memory_bytes` is the most kept in memory. Where no temporary file can be
// made at all (a read-only file system), the body takes `source` over and
// streams the audio under a header of unknown sizes (0xFFFFFFFF), the form
// players take for a WAV stream.
std::variant<std::unique_ptr<AnswerBody>, ApiError> gather_wav(std::unique_ptr<PcmSource> &source,
                                                               const Cancelled &cancelled,
                                                               std::size_t memory_bytes = kWavMemoryBytes);

}  // namespace tts_server

#endif  // TTS_SERVER_WAV_BODY_H
