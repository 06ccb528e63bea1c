// SPDX-License-Identifier: Apache-2.0
// tts.conf, the module's configuration file. Every option is optional; an
// empty or missing file gives the defaults.
//   TtsLexicons "/path/a.pls:/path/b.pls"   pronunciation lexicons (PLS)
//   TtsMaxMessageSeconds 600                the most audio one message may make
#ifndef SD_TTS_MODULE_CONFIG_H
#define SD_TTS_MODULE_CONFIG_H

#include <string>
#include <string_view>
#include <vector>

namespace sd_tts {

struct ModuleConfig {
    std::string lexicons;
    int max_message_seconds = 600;
};

// Reads `text`; what is not understood is named in `warnings` and ignored.
ModuleConfig parse_config(std::string_view text, std::vector<std::string> &warnings);

}  // namespace sd_tts

#endif  // SD_TTS_MODULE_CONFIG_H
