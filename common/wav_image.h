// SPDX-License-Identifier: Apache-2.0
// A wav_hdr as its 44-byte file image, numbers little-endian whatever the
// host's byte order, and the sizes a finished file states: shared by
// libtts's file writer, tts-server's WAV bodies and tts-say's batch writer
// (which only use the struct type of tts.h, not the library). Header-only
// and plain, so that libtts stays C-runtime-only.
#ifndef TTS_COMMON_WAV_IMAGE_H
#define TTS_COMMON_WAV_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tts.h"

namespace tts {

constexpr std::size_t kWavHeaderBytes = 44;
// Header bytes that follow the riff_size field: 44 less "RIFF" and riff_size.
constexpr std::uint32_t kRiffSizeOverhead = 36;

inline void store_le16(unsigned char *p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFFu);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void store_le32(unsigned char *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFFu);
}

inline std::uint32_t load_le32(const unsigned char *p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// a + b, or 0xFFFFFFFF when that does not fit.
inline std::uint32_t saturating_add(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t sum = a + b;
    return sum > 0xFFFFFFFFu || sum < a ? 0xFFFFFFFFu : static_cast<std::uint32_t>(sum);
}

inline void wav_encode(const wav_hdr &hdr, unsigned char (&out)[kWavHeaderBytes]) {
    std::memcpy(out + 0, hdr.riff_tag, 4);
    store_le32(out + 4, hdr.riff_size);
    std::memcpy(out + 8, hdr.wave_tag, 4);
    std::memcpy(out + 12, hdr.fmt_tag, 4);
    store_le32(out + 16, hdr.fmt_size);
    store_le16(out + 20, hdr.format_tag);
    store_le16(out + 22, hdr.channels);
    store_le32(out + 24, hdr.sample_rate);
    store_le32(out + 28, hdr.byte_rate);
    store_le16(out + 32, hdr.block_align);
    store_le16(out + 34, hdr.bits_per_sample);
    std::memcpy(out + 36, hdr.data_tag, 4);
    store_le32(out + 40, hdr.data_size);
}

// Adds `data_bytes` of audio to the sizes of `hdr` as the finished file
// states them (as the library's writer does): data_size grows by them,
// riff_size by the new data_size and the 36 header bytes after it, both
// saturating.
inline void wav_add_final_sizes(wav_hdr &hdr, std::uint64_t data_bytes) {
    hdr.data_size = saturating_add(hdr.data_size, data_bytes);
    hdr.riff_size = saturating_add(saturating_add(hdr.riff_size, hdr.data_size), kRiffSizeOverhead);
}

}  // namespace tts

#endif  // TTS_COMMON_WAV_IMAGE_H
