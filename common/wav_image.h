// SPDX-License-Identifier: Apache-2.0
// A wav_hdr as its 44-byte file image, numbers little-endian whatever the
// host's byte order: shared by libtts's file writer and tts-server's WAV
// bodies (which only use the struct type of tts.h, not the library).
#ifndef TTS_COMMON_WAV_IMAGE_H
#define TTS_COMMON_WAV_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tts.h"

namespace tts {

constexpr std::size_t kWavHeaderBytes = 44;

inline void store_le16(unsigned char *p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFFu);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void store_le32(unsigned char *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFFu);
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

}  // namespace tts

#endif  // TTS_COMMON_WAV_IMAGE_H
