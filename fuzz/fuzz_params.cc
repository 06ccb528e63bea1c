// SPDX-License-Identifier: Apache-2.0
// Parameter parsing of the service: the input is tried as a login list and
// as a session list. Neither may crash, hang or leak, whatever it holds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "login_state.h"
#include "param_list.h"
#include "session_config.h"
#include "speech_service.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<speech::Param> list;
    if (speech::parse_param_list(text, list)) {
        for (const auto &p : list)
            if (p.key.empty() || p.value.empty()) __builtin_trap();
    }
    if (speech::login(text.c_str()) == SPEECH_OK && speech::logout() != SPEECH_OK) __builtin_trap();
    speech::SessionConfig config;
    if (speech::parse_session_config(text.c_str(), config) == SPEECH_OK) {
        if (config.speed < 0 || config.speed > 100 || config.rdn < 0 || config.rdn > 2) __builtin_trap();
        if (config.sample_rate != 16000 && config.sample_rate != 8000) __builtin_trap();
        if (config.max_audio_seconds < 1 || config.max_audio_seconds > 86400) __builtin_trap();
    }
    return 0;
}
