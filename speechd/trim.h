// SPDX-License-Identifier: Apache-2.0
// A protocol or configuration line's value without the blanks around it.
#ifndef SD_TTS_TRIM_H
#define SD_TTS_TRIM_H

#include <cctype>
#include <string_view>

namespace sd_tts {

inline std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

}  // namespace sd_tts

#endif  // SD_TTS_TRIM_H
