// SPDX-License-Identifier: Apache-2.0
// Which voices the engine can load, decided from the engine's data files
// (the service itself does not link the engine): language files speak;
// variant files do not; voices of the optional add-on synthesiser speak
// only when its program and its voice data are installed.
#ifndef SPEECH_VOICE_CATALOG_H
#define SPEECH_VOICE_CATALOG_H

#include <filesystem>
#include <string>
#include <vector>

namespace speech {

// The service's own voice name, and the engine voice it stands for.
inline constexpr const char *kServiceVoice = "xiaoxin";
inline constexpr const char *kMandarinVoice = "cmn-latn-pinyin";

// Where the engine finds its voices, and the add-on synthesiser its own.
struct VoicePlaces {
    std::filesystem::path data_dir;        // the engine's data: lang/, voices/, mbrola_ph/, mbrola/
    std::filesystem::path addon_data_dir;  // the add-on synthesiser's voice data
    std::string program_path;              // folders searched for its program, ':'-separated
};

// The places of this process, found the way the engine finds them:
// $ESPEAK_DATA_PATH/espeak-ng-data, $ESPEAK_DATA_PATH, $HOME/espeak-ng-data,
// then the engine's built-in folder; the add-on's program on $PATH.
VoicePlaces engine_voice_places();

struct OfferedVoice {
    std::string name;      // as the engine's file spells it
    std::string language;  // the first language the voice file names
};

class VoiceCatalog {
  public:
    explicit VoiceCatalog(const VoicePlaces &places);

    // True when the engine, asked for `name`, loads a voice that speaks.
    // Names are compared without regard to case, as the engine does, and
    // resolved as it resolves them: a voice's own name first, then a file
    // name. A name that could mean a file that does not speak is refused.
    bool accepts(const std::string &name) const;

    // The voices accepted by their file names, sorted by name.
    const std::vector<OfferedVoice> &voices() const { return offered_; }

    // "name\tlanguage\n" lines: the service's own voice first, then voices().
    std::string listing() const;

  private:
    struct VoiceFile {
        std::string id;          // path below lang/ or voices/
        std::string file_name;   // last part of id
        std::string voice_name;  // the file's "name" attribute
        std::string language;    // its first "language"
        bool speaks = false;
    };
    std::vector<VoiceFile> files_;
    std::vector<OfferedVoice> offered_;
};

// The process's catalogue, read on first use.
const VoiceCatalog &engine_voices();

// True when the engine loads `name` as a speaking voice. The service's
// Mandarin voice is checked by its file alone, without reading the whole
// catalogue.
bool engine_voice_exists(const std::string &name);

}  // namespace speech

#endif  // SPEECH_VOICE_CATALOG_H
