// SPDX-License-Identifier: Apache-2.0
#include "audio_format.h"

#include <strings.h>

#include <algorithm>

namespace tts_server {
namespace {

struct FormatRow {
    AudioFormat format;
    const char *name;
    const char *type;
};
constexpr FormatRow kFormats[] = {
    {AudioFormat::kMp3, "mp3", "audio/mpeg"},  {AudioFormat::kOpus, "opus", "audio/ogg"},
    {AudioFormat::kAac, "aac", "audio/aac"},   {AudioFormat::kFlac, "flac", "audio/flac"},
    {AudioFormat::kWav, "wav", "audio/wav"},   {AudioFormat::kPcm, "pcm", "audio/pcm"},
};

const FormatRow &row(AudioFormat format) {
    return *std::find_if(std::begin(kFormats), std::end(kFormats), [&](const FormatRow &r) { return r.format == format; });
}

}  // namespace

std::optional<AudioFormat> format_named(std::string_view name) {
    for (const FormatRow &r : kFormats)
        if (name.size() == std::char_traits<char>::length(r.name) && strncasecmp(name.data(), r.name, name.size()) == 0)
            return r.format;
    return std::nullopt;
}

const char *format_name(AudioFormat format) { return row(format).name; }
const char *content_type(AudioFormat format) { return row(format).type; }

const std::vector<unsigned> &allowed_rates(AudioFormat format) {
    // Opus codes only these; MPEG audio (LAME), AAC and the PCM forms the
    // usual ones from telephone to studio.
    static const std::vector<unsigned> opus = {8000, 12000, 16000, 24000, 48000};
    static const std::vector<unsigned> usual = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    return format == AudioFormat::kOpus ? opus : usual;
}

bool rate_allowed(AudioFormat format, unsigned rate) {
    const auto &rates = allowed_rates(format);
    return std::find(rates.begin(), rates.end(), rate) != rates.end();
}

std::string rate_message(AudioFormat format) {
    const auto &rates = allowed_rates(format);
    std::string list;
    for (std::size_t i = 0; i < rates.size(); ++i)
        list += (i == 0 ? "" : i + 1 == rates.size() ? " or " : ", ") + std::to_string(rates[i]);
    return std::string("must be one of ") + list + " for " + format_name(format);
}

std::string available_format_names() {
    std::string out;
    for (const FormatRow &r : kFormats)
        out += std::string(out.empty() ? "" : ", ") + r.name;
    return out;
}

}  // namespace tts_server
