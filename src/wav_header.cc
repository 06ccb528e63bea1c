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

bool patch_le32(std::FILE *file, long offset, std::uint32_t value) {
    unsigned char bytes[4];
    store_le32(bytes, value);
    return std::fseek(file, offset, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, file) == 4;
}

}  // namespace

void wav_take_copy(wav_hdr &hdr) { std::memcpy(&hdr, &default_wav_hdr, sizeof hdr); }

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
