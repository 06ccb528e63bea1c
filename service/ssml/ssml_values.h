// SPDX-License-Identifier: Apache-2.0
// The attribute values of SSML elements: break times and strengths,
// prosody, emphasis, and the say-as forms rewritten as Mandarin text.
#ifndef SPEECH_SSML_VALUES_H
#define SPEECH_SSML_VALUES_H

#include <optional>
#include <string>
#include <string_view>

#include "ssml_document.h"

namespace speech::ssml {

// The longest break taken, in milliseconds.
inline constexpr int kMaxBreakMs = 60000;

// "500ms", "1.5s" -> milliseconds; nothing for anything else or over kMaxBreakMs.
std::optional<int> break_time(std::string_view v);
// "none" .. "x-strong" -> milliseconds.
std::optional<int> break_strength(std::string_view v);

// Factors for prosody's rate, pitch and volume: words, percentages,
// relative changes ("+20%", "-3st", "+6dB"); nothing for a bad value.
std::optional<double> rate_factor(std::string_view v);
std::optional<double> pitch_factor(std::string_view v);
std::optional<double> volume_factor(std::string_view v);
// emphasis level -> its prosody.
std::optional<Prosody> emphasis_prosody(std::string_view level);

// say-as: the Mandarin text for a date in `format` ("ymd", "dmy", "md", ...:
// 2023年5月6日), a time (12点30分), an ordinal (第3); nothing when the
// content does not fit.
bool valid_date_format(std::string_view format);
std::optional<std::string> date_text(std::string_view content, std::string_view format);
std::optional<std::string> time_text(std::string_view content);
std::string ordinal_text(std::string_view content);
// A telephone number as pinyin, digit by digit with 1 as yao1.
std::optional<std::string> telephone_reading(std::string_view content);

}  // namespace speech::ssml

#endif  // SPEECH_SSML_VALUES_H
