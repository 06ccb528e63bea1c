// SPDX-License-Identifier: Apache-2.0
// WAV header operations: the call's header copy, its little-endian file
// image, the running data size, and patching the sizes at the end.
#ifndef TTS_WAV_HEADER_H
#define TTS_WAV_HEADER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "tts.h"
#include "wav_image.h"

namespace tts {

constexpr long kRiffSizeOffset = 4;
constexpr long kDataSizeOffset = 40;

// Copies all 44 bytes of default_wav_hdr into `hdr`.
void wav_take_copy(wav_hdr &hdr);

// wav_encode (wav_image.h) stores `hdr` as its 44-byte file image.

// Writes the 44-byte header at the current position; false on failure.
bool wav_write_header(std::FILE *file, const wav_hdr &hdr);

// Adds a block of `len` bytes to data_size, saturating at 0xFFFFFFFF.
void wav_add_block(wav_hdr &hdr, std::uint32_t len);

// Sets riff_size to riff_size + data_size + 36 (saturating), patches both
// sizes into the file at offsets 4 and 40 and closes it. The file is closed
// whatever happens; returns false if any seek, write or the close failed.
bool wav_finish(std::FILE *file, wav_hdr &hdr);

}  // namespace tts

#endif  // TTS_WAV_HEADER_H
