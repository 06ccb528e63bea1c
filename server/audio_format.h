// SPDX-License-Identifier: Apache-2.0
// The answer formats of the speech route: their names, media types and the
// sample rates each can carry.
#ifndef TTS_SERVER_AUDIO_FORMAT_H
#define TTS_SERVER_AUDIO_FORMAT_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tts_server {

enum class AudioFormat { kMp3, kOpus, kAac, kFlac, kWav, kPcm };

// The rate of the API's audio, when the request names none.
constexpr unsigned kDefaultRate = 24000;

// The format named `name` (any case); nothing for an unknown name.
std::optional<AudioFormat> format_named(std::string_view name);
const char *format_name(AudioFormat format);
const char *content_type(AudioFormat format);
// The rates the format carries, ascending.
const std::vector<unsigned> &allowed_rates(AudioFormat format);
bool rate_allowed(AudioFormat format, unsigned rate);
// The one message for any wrong sample_rate with this format.
std::string rate_message(AudioFormat format);
// The formats' names, for the response_format message.
std::string available_format_names();

}  // namespace tts_server

#endif  // TTS_SERVER_AUDIO_FORMAT_H
