// SPDX-License-Identifier: Apache-2.0
#include "wav_answer.h"

#include <cstdint>

#include "wav_image.h"

namespace tts_say {
namespace {

constexpr std::uint32_t kUnknownSize = 0xFFFFFFFFu;

std::uint32_t le32(const std::string &s, std::size_t at) {
    return tts::load_le32(reinterpret_cast<const unsigned char *>(s.data()) + at);
}

std::uint16_t le16(const std::string &s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8);
}

void put_le32(std::string &s, std::size_t at, std::uint32_t v) {
    tts::store_le32(reinterpret_cast<unsigned char *>(&s[at]), v);
}

}  // namespace

bool check_wav_answer(std::string &wav, int rate, std::string &error) {
    const auto fail = [&error, &wav](const std::string &why) {
        error = "the server's answer is not a complete WAV (" + std::to_string(wav.size()) + " bytes): " + why;
        return false;
    };
    if (wav.size() < 12 || wav.compare(0, 4, "RIFF") != 0 || wav.compare(8, 4, "WAVE") != 0)
        return fail("it does not start as one");
    const std::uint32_t riff_size = le32(wav, 4);
    if (riff_size != kUnknownSize && riff_size != wav.size() - 8)
        return fail("its RIFF size says " + std::to_string(riff_size + std::uint64_t{8}) + " bytes");
    bool have_format = false;
    std::size_t at = 12;
    for (;;) {
        if (wav.size() - at < 8) return fail("it has no data chunk");
        const std::string id = wav.substr(at, 4);
        const std::uint32_t size = le32(wav, at + 4);
        const std::size_t body = at + 8;
        if (id == "data") {
            if (!have_format) return fail("its data come before its format");
            const std::size_t sent = wav.size() - body;
            if (size != kUnknownSize && size != sent)
                return fail("its data chunk says " + std::to_string(size) + " bytes, " + std::to_string(sent) + " came");
            if (sent % 2 != 0) return fail("its data end inside a sample");
            if (sent > 0xFFFFFFFFu - body) return fail("it is too large for a WAV");
            // A streamed answer's sizes, now known.
            put_le32(wav, at + 4, static_cast<std::uint32_t>(sent));
            put_le32(wav, 4, static_cast<std::uint32_t>(wav.size() - 8));
            return true;
        }
        if (size > wav.size() - body) return fail("its " + id + " chunk runs past its end");
        if (id == "fmt ") {
            if (size < 16) return fail("its format chunk is too short");
            const std::uint16_t format = le16(wav, body), channels = le16(wav, body + 2), bits = le16(wav, body + 14);
            const std::uint32_t sample_rate = le32(wav, body + 4);
            if (format != 1 || channels != 1 || bits != 16 || sample_rate != static_cast<std::uint32_t>(rate))
                return fail("it is not 16-bit mono PCM at " + std::to_string(rate) + " Hz");
            have_format = true;
        }
        // Chunks are padded to an even size.
        at = body + size + (size & 1u);
        if (at > wav.size()) return fail("its " + id + " chunk runs past its end");
    }
}

}  // namespace tts_say
