// SPDX-License-Identifier: Apache-2.0
// The voices as Wyoming describes them: the HTTP API's names, with the
// engine's language tags turned into the locales clients ask by (zh_CN,
// en_US, ...), and the choice of a voice by name or by language.
#ifndef TTS_SERVER_WYOMING_VOICE_CATALOGUE_H
#define TTS_SERVER_WYOMING_VOICE_CATALOGUE_H

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tts_server::wyoming {

struct Voice {
    std::string name;
    std::string tag;                     // the engine's language tag
    std::vector<std::string> languages;  // locales
};

// The locales an engine language tag stands for: "en-us" -> en_US,
// Mandarin -> zh_CN and its friends, "yue" -> zh_HK.
std::vector<std::string> locales_of(const std::string &tag);

class VoiceCatalogue {
  public:
    // From the service's "NAME<TAB>TAG" lines, in its order (the default
    // voice first).
    static VoiceCatalogue from_lines(const std::string &lines);

    const std::vector<Voice> &voices() const { return voices_; }
    bool has(const std::string &name) const;
    // Our voice for a language ("zh_CN", "zh-cn", "en"): an exact locale
    // first, then the voice named as the bare language, then any voice of
    // the language.
    std::optional<std::string> for_language(const std::string &language) const;

    // The info event's data: one tts program with every voice.
    nlohmann::json info(const std::string &version) const;

  private:
    std::vector<Voice> voices_;
};

}  // namespace tts_server::wyoming

#endif  // TTS_SERVER_WYOMING_VOICE_CATALOGUE_H
