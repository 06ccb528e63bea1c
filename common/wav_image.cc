// SPDX-License-Identifier: Apache-2.0
#include "wav_image.h"

#include <cstring>

namespace tts {

void store_le16(unsigned char *p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFFu);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void store_le32(unsigned char *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFFu);
}

std::uint32_t load_le32(const unsigned char *p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t saturating_add(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t sum = a + b;
    return sum > 0xFFFFFFFFu || sum < a ? 0xFFFFFFFFu : static_cast<std::uint32_t>(sum);
}

void wav_encode(const wav_hdr &hdr, unsigned char (&out)[kWavHeaderBytes]) {
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

void wav_add_final_sizes(wav_hdr &hdr, std::uint64_t data_bytes) {
    hdr.data_size = saturating_add(hdr.data_size, data_bytes);
    hdr.riff_size = saturating_add(saturating_add(hdr.riff_size, hdr.data_size), kRiffSizeOverhead);
}

}  // namespace tts
