// SPDX-License-Identifier: Apache-2.0
// How the lexicon files a host registers are named: a colon-separated list,
// in the environment (read first) and in the `lexicons` session parameter.
// The service loads them; the batch digests what they hold. Header-only,
// like the rest of common/.
#ifndef TTS_COMMON_LEXICON_FILES_H
#define TTS_COMMON_LEXICON_FILES_H

#include <string>
#include <string_view>
#include <vector>

namespace tts {

// The environment variable with the host's lexicon files.
inline constexpr const char *kLexiconsEnv = "SPEECH_SERVICE_LEXICONS";

// The files of a colon-separated list (empty items are skipped).
inline std::vector<std::string> split_paths(std::string_view list) {
    std::vector<std::string> out;
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        const std::string_view item = list.substr(0, colon);
        if (!item.empty()) out.emplace_back(item);
        if (colon == std::string_view::npos) break;
        list.remove_prefix(colon + 1);
    }
    return out;
}

}  // namespace tts

#endif  // TTS_COMMON_LEXICON_FILES_H
