// SPDX-License-Identifier: Apache-2.0
// The 705 AUDIO event that hands speech-dispatcher a block of samples to
// play (the "server" audio method).
#ifndef SD_TTS_AUDIO_BLOCK_H
#define SD_TTS_AUDIO_BLOCK_H

#include <string>
#include <string_view>

namespace sd_tts {

// `pcm`, bytes of 16-bit signed little-endian mono samples at `sample_rate`,
// as the complete 705 event: the format lines, "705-AUDIO", a NUL, the
// escaped bytes, a line end and "705 AUDIO". An odd last byte is dropped.
std::string audio_event(std::string_view pcm, int sample_rate);

// The samples with every '\n' and 0x7D written as 0x7D and the byte with its
// 0x20 bit inverted, so that no line end appears inside them.
std::string escape_audio(std::string_view bytes);

// The inverse of escape_audio; false when an escape byte ends the input.
bool unescape_audio(std::string_view escaped, std::string &out);

}  // namespace sd_tts

#endif  // SD_TTS_AUDIO_BLOCK_H
