// SPDX-License-Identifier: Apache-2.0
// Other names for our voices: the API's own voice names (alloy, nova, ...)
// that clients send by default, each standing for one of ours.
#ifndef TTS_SERVER_VOICE_ALIASES_H
#define TTS_SERVER_VOICE_ALIASES_H

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tts_server {

class VoiceAliases {
  public:
    // Each of the API's voice names stands for the Mandarin voice.
    VoiceAliases();

    // The API's voice names, in its order.
    static const std::vector<std::string> &api_voice_names();

    // Adds or replaces the alias of "NAME=VOICE"; "" or why it is refused.
    std::string set(std::string_view spec);
    // Adds the "NAME=VOICE" lines of a file (blank lines and lines starting
    // with # skipped); "" or the error with its line.
    std::string load(const std::string &path);

    // The voice `name` stands for (names match in any case), or null.
    const std::string *find(std::string_view name) const;

  private:
    std::map<std::string, std::string> voices_;  // lower-case name -> voice
};

// Whether `name` can be a voice name: letters, digits, - _ + . only (it goes
// into the service's parameter list).
bool plain_voice_name(std::string_view name);

}  // namespace tts_server

#endif  // TTS_SERVER_VOICE_ALIASES_H
