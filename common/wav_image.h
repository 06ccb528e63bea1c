// SPDX-License-Identifier: Apache-2.0
// The 44-byte file image of a WAV header, numbers little-endian whatever
// the host's byte order, and its size arithmetic. The library and tts-say's
// batch writer both make their headers with it, so they agree byte for byte.
#ifndef TTS_WAV_IMAGE_H
#define TTS_WAV_IMAGE_H

#include <cstddef>
#include <cstdint>

#include "tts.h"

namespace tts {

constexpr std::size_t kWavHeaderBytes = 44;
// Header bytes that follow the riff_size field: 44 less "RIFF" and riff_size.
constexpr std::uint32_t kRiffSizeOverhead = 36;

void store_le16(unsigned char *p, std::uint16_t v);
void store_le32(unsigned char *p, std::uint32_t v);
std::uint32_t load_le32(const unsigned char *p);

// a + b, or 0xFFFFFFFF when that does not fit.
std::uint32_t saturating_add(std::uint64_t a, std::uint64_t b);

// Stores `hdr` as its 44-byte file image.
void wav_encode(const wav_hdr &hdr, unsigned char (&out)[kWavHeaderBytes]);

// Adds `data_bytes` of audio to the sizes of `hdr` as the finished file
// states them: data_size grows by them, riff_size by them and the 36 header
// bytes after it (both saturating).
void wav_add_final_sizes(wav_hdr &hdr, std::uint64_t data_bytes);

}  // namespace tts

#endif  // TTS_WAV_IMAGE_H
