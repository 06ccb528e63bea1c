// SPDX-License-Identifier: Apache-2.0
#include "audio_block.h"

namespace sd_tts {

namespace {
constexpr char kEscape = 0x7D;
constexpr char kFlip = 0x20;
}  // namespace

std::string escape_audio(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 64 + 8);
    for (const char c : bytes) {
        if (c == '\n' || c == kEscape) {
            out.push_back(kEscape);
            out.push_back(static_cast<char>(c ^ kFlip));
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool unescape_audio(std::string_view escaped, std::string &out) {
    out.clear();
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != kEscape) {
            out.push_back(escaped[i]);
            continue;
        }
        if (++i == escaped.size()) return false;
        out.push_back(static_cast<char>(escaped[i] ^ kFlip));
    }
    return true;
}

std::string audio_event(std::string_view pcm, int sample_rate) {
    const std::size_t samples = pcm.size() / 2;
    pcm = pcm.substr(0, samples * 2);
    std::string out = "705-bits=16\n705-num_channels=1\n705-sample_rate=" + std::to_string(sample_rate) +
                      "\n705-num_samples=" + std::to_string(samples) + "\n705-big_endian=0\n705-AUDIO";
    out.push_back('\0');
    out += escape_audio(pcm);
    out += "\n705 AUDIO\n";
    return out;
}

}  // namespace sd_tts
