// SPDX-License-Identifier: Apache-2.0
// The WAV header unit: the file image of the template, the running size
// and the patching of both sizes at the end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console.h"
#include "wav_header.h"

using testing_support::le32;

namespace {

const std::string kTemplateImage(
    "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x80\x3e\0\0\x00\x7d\0\0\x02\0\x10\0data\0\0\0\0", 44);

std::string encoded(const wav_hdr &h) {
    unsigned char bytes[tts::kWavHeaderBytes];
    tts::wav_encode(h, bytes);
    return std::string(reinterpret_cast<const char *>(bytes), sizeof bytes);
}

// Writes the header and `audio`, finishes the file and returns its bytes.
std::string finished_file(wav_hdr &h, const std::string &audio, bool *ok = nullptr) {
    testing_support::TempDir dir;
    const std::string path = dir.path("out.wav");
    std::FILE *f = std::fopen(path.c_str(), "wb");
    EXPECT_TRUE(tts::wav_write_header(f, h));
    EXPECT_EQ(std::fwrite(audio.data(), 1, audio.size(), f), audio.size());
    tts::wav_add_block(h, static_cast<std::uint32_t>(audio.size()));
    const bool finished = tts::wav_finish(f, h);
    if (ok != nullptr) *ok = finished;
    return testing_support::read_file(path);
}

TEST(WavHeader, TemplateEncodesToTheCanonicalLittleEndianImage) {
    wav_hdr h;
    tts::wav_take_copy(h);
    EXPECT_EQ(encoded(h), kTemplateImage);
}

TEST(WavHeader, EveryNumericFieldIsStoredLittleEndian) {
    wav_hdr h;
    tts::wav_take_copy(h);
    h.riff_size = 0x01020304;
    h.sample_rate = 0x0A0B0C0D;
    h.block_align = 0x1122;
    h.data_size = 0xA1B2C3D4;
    const std::string img = encoded(h);
    EXPECT_EQ(img.substr(4, 4), std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(img.substr(24, 4), std::string("\x0D\x0C\x0B\x0A", 4));
    EXPECT_EQ(img.substr(32, 2), std::string("\x22\x11", 2));
    EXPECT_EQ(img.substr(40, 4), std::string("\xD4\xC3\xB2\xA1", 4));
}

TEST(WavHeader, FinishPatchesSizesForNoOddAndOneSecondOfAudio) {
    for (std::size_t n : {std::size_t{0}, std::size_t{7}, std::size_t{32000}}) {
        wav_hdr h;
        tts::wav_take_copy(h);
        const std::string audio(n, '\x5a');
        bool ok = false;
        const std::string file = finished_file(h, audio, &ok);
        EXPECT_TRUE(ok);
        ASSERT_EQ(file.size(), 44 + n);
        EXPECT_EQ(le32(file, 4), n + 36);
        EXPECT_EQ(le32(file, 40), n);
        EXPECT_EQ(file.substr(44), audio) << "no pad byte, audio unchanged";
    }
}

TEST(WavHeader, SizesSaturateInsteadOfWrapping) {
    wav_hdr h;
    tts::wav_take_copy(h);
    h.data_size = 0xFFFFFFF0u;
    tts::wav_add_block(h, 0x10);
    EXPECT_EQ(h.data_size, 0xFFFFFFFFu);
    tts::wav_add_block(h, 0xFFFFFFFFu);
    EXPECT_EQ(h.data_size, 0xFFFFFFFFu);

    wav_hdr r;
    tts::wav_take_copy(r);
    r.data_size = 0xFFFFFFE0u;  // + 36 passes 32 bits
    const std::string file = finished_file(r, "");
    EXPECT_EQ(le32(file, 4), 0xFFFFFFFFu);
    EXPECT_EQ(le32(file, 40), 0xFFFFFFE0u);
}

TEST(WavHeader, FinishReportsAFileThatCannotBeWritten) {
    std::FILE *f = std::fopen("/dev/full", "wb");
    ASSERT_NE(f, nullptr);
    wav_hdr h;
    tts::wav_take_copy(h);
    EXPECT_TRUE(tts::wav_write_header(f, h)) << "buffered: the failure shows later";
    EXPECT_FALSE(tts::wav_finish(f, h));
}

}  // namespace
