// SPDX-License-Identifier: Apache-2.0
#include "wav_header.h"

#include <cstring>

// The template every call starts from. Constant-initialised data: loading
// the library runs no code.
wav_hdr default_wav_hdr = {
    {'R', 'I', 'F', 'F'}, 0,     {'W', 'A', 'V', 'E'}, {'f', 'm', 't', ' '}, 16, 1, 1, 16000,
    32000,                2,     16,                   {'d', 'a', 't', 'a'}, 0,
};

namespace tts {
namespace {

void store_le16(unsigned char *p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFFu);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void store_le32(unsigned char *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFFu);
}

std::uint32_t saturating_add(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t sum = a + b;
    return sum > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(sum);
}

bool patch_le32(std::FILE *file, long offset, std::uint32_t value) {
    unsigned char bytes[4];
    store_le32(bytes, value);
    return std::fseek(file, offset, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, file) == 4;
}

}  // namespace

void wav_take_copy(wav_hdr &hdr) { std::memcpy(&hdr, &default_wav_hdr, sizeof hdr); }

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

bool wav_write_header(std::FILE *file, const wav_hdr &hdr) {
    unsigned char bytes[kWavHeaderBytes];
    wav_encode(hdr, bytes);
    return std::fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes;
}

void wav_add_block(wav_hdr &hdr, std::uint32_t len) { hdr.data_size = saturating_add(hdr.data_size, len); }

bool wav_finish(std::FILE *file, wav_hdr &hdr) {
    hdr.riff_size = saturating_add(saturating_add(hdr.riff_size, hdr.data_size), kRiffSizeOverhead);
    // Each step is tried even after an earlier one failed, so the file is
    // finished as far as it goes and always closed.
    bool ok = patch_le32(file, kRiffSizeOffset, hdr.riff_size);
    ok = patch_le32(file, kDataSizeOffset, hdr.data_size) && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

}  // namespace tts
