// SPDX-License-Identifier: Apache-2.0
#include "voices.h"

#include <strings.h>

#include <sstream>

#include "speech_service.h"

namespace tts_say {

std::string voice_list(std::string &error) {
    char *list = nullptr;
    const int rc = speech_service_voices(&list);
    if (rc != 0) {
        error = std::string("cannot list the voices: ") + speech_service_error_text(rc);
        return "";
    }
    std::string text = list;
    speech_service_free(list);
    return text;
}

bool offers_voice(const std::string &list, const std::string &voice) {
    std::istringstream lines(list);
    std::string line;
    while (std::getline(lines, line))
        if (strcasecmp(line.substr(0, line.find('\t')).c_str(), voice.c_str()) == 0) return true;
    return false;
}

}  // namespace tts_say
