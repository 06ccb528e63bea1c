// SPDX-License-Identifier: Apache-2.0
// What the server SETs for the next messages, and how it becomes the
// service's session parameters.
#ifndef SD_TTS_VOICE_SETTINGS_H
#define SD_TTS_VOICE_SETTINGS_H

#include <string>
#include <string_view>
#include <vector>

namespace sd_tts {

// The service's own Mandarin voice.
inline constexpr const char *kMandarinVoice = "xiaoxin";

struct Voice {
    std::string name;      // the service's voice_name
    std::string language;  // as listed to the server
    std::string variant;   // "none" when there is none
};

// The service's voice list ("name\tlanguage\n" lines) as the server is
// told it: the Mandarin voice first as zh with variant cmn.
std::vector<Voice> voices_from_list(std::string_view list);

enum class Punctuation { none, some, most, all };
enum class CapitalLetters { none, spell, icon };

struct VoiceSettings {
    int rate = 0;    // -100..100 each
    int pitch = 0;
    int volume = 100;  // the server's default: the engine's normal loudness
    Punctuation punctuation = Punctuation::none;
    bool spelling = false;
    CapitalLetters capitals = CapitalLetters::none;
    std::string voice_type;       // male1 ... child_female, "" unset
    std::string language;         // "" unset
    std::string synthesis_voice;  // "" unset

    // Takes one "name=value" line of SET; false (and nothing changed) for a
    // value that is not one the name takes. Unknown names are ignored.
    bool apply(std::string_view line);
};

// -100..100 (clamped) onto the service's 0..100, 0 onto its default 50.
int service_level(int value);

// The voice to speak with: the synthesis voice when the service has it, else
// the voice of the language (by its whole tag, then its primary subtag),
// else the Mandarin voice.
std::string choose_voice(const VoiceSettings &settings, const std::vector<Voice> &voices);

// True for the voice (or a language tag) read by the Mandarin front end.
bool is_mandarin(std::string_view voice_or_language);

// The session parameters: voice, rate, pitch and volume, 16 kHz, and the
// text type.
std::string session_params(const VoiceSettings &settings, const std::string &voice, bool ssml);

}  // namespace sd_tts

#endif  // SD_TTS_VOICE_SETTINGS_H
