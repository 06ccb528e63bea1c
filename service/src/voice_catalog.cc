// SPDX-License-Identifier: Apache-2.0
#include "voice_catalog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <system_error>

namespace speech {
namespace {

namespace fs = std::filesystem;

// The engine copies a requested name into a 40-byte buffer.
constexpr std::size_t kLongestName = 39;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool same_name(const std::string &a, const std::string &b) { return lower(a) == lower(b); }

bool plausible_name(const std::string &name) {
    if (name.empty() || name.size() > kLongestName) return false;
    return std::all_of(name.begin(), name.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '_'; });
}

bool is_folder(const fs::path &p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

// The engine takes a file as present when it has a length.
bool has_content(const fs::path &p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

bool on_search_path(const std::string &program, const std::string &search_path) {
    std::istringstream dirs(search_path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const fs::path p = fs::path(dir.empty() ? "." : dir) / program;
        struct stat st;
        if (::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0) return true;
    }
    return false;
}

// The attributes of one voice file that decide whether it speaks.
struct VoiceAttributes {
    std::string name, language;
    std::string addon_voice, addon_table;  // the "mbrola VOICE TABLE" line
};

VoiceAttributes read_attributes(const fs::path &file) {
    VoiceAttributes a;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (const std::size_t comment = line.find("//"); comment != std::string::npos) line.erase(comment);
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "name" && a.name.empty()) {
            std::getline(words >> std::ws, a.name);
            while (!a.name.empty() && std::isspace(static_cast<unsigned char>(a.name.back()))) a.name.pop_back();
        } else if (key == "language" && a.language.empty()) {
            words >> a.language;
        } else if (key == "mbrola") {
            words >> a.addon_voice >> a.addon_table;
        }
    }
    return a;
}

// An add-on voice speaks when the add-on's program can be run and both its
// voice data and the engine's phoneme table for it are there.
bool addon_voice_installed(const VoiceAttributes &a, const VoicePlaces &places) {
    if (a.addon_voice.empty() || a.addon_table.empty()) return false;
    if (!on_search_path("mbrola", places.program_path)) return false;
    if (!has_content(places.data_dir / "mbrola_ph" / a.addon_table)) return false;
    const fs::path &addon = places.addon_data_dir;
    return has_content(places.data_dir / "mbrola" / a.addon_voice) || has_content(addon / a.addon_voice) ||
           has_content(addon / a.addon_voice / a.addon_voice) || has_content(addon / "voices" / a.addon_voice);
}

}  // namespace

VoicePlaces engine_voice_places() {
    VoicePlaces places;
    places.data_dir = SPEECH_ENGINE_DATA_DIR;
    const char *env = std::getenv("ESPEAK_DATA_PATH");
    const char *home = std::getenv("HOME");
    if (env != nullptr && is_folder(fs::path(env) / "espeak-ng-data")) places.data_dir = fs::path(env) / "espeak-ng-data";
    else if (env != nullptr && is_folder(env)) places.data_dir = env;
    else if (home != nullptr && is_folder(fs::path(home) / "espeak-ng-data")) places.data_dir = fs::path(home) / "espeak-ng-data";
    places.addon_data_dir = "/usr/share/mbrola";
    const char *path = std::getenv("PATH");
    places.program_path = path != nullptr ? path : "/bin:/usr/bin";
    return places;
}

VoiceCatalog::VoiceCatalog(const VoicePlaces &places) {
    for (const char *sub : {"voices", "lang"}) {
        const fs::path root = places.data_dir / sub;
        std::error_code ec;
        fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            std::error_code type_ec;
            if (!it->is_regular_file(type_ec)) continue;
            const VoiceAttributes a = read_attributes(it->path());
            VoiceFile f;
            f.id = it->path().lexically_relative(root).string();
            f.file_name = it->path().filename().string();
            f.voice_name = a.name;
            f.language = a.language;
            if (!a.addon_voice.empty()) f.speaks = addon_voice_installed(a, places);
            else f.speaks = !a.language.empty() && a.language != "variant";
            files_.push_back(std::move(f));
        }
    }
    for (const VoiceFile &f : files_) {
        if (!f.speaks || !accepts(f.file_name)) continue;
        const bool listed = std::any_of(offered_.begin(), offered_.end(),
                                        [&](const OfferedVoice &v) { return same_name(v.name, f.file_name); });
        if (!listed) offered_.push_back({f.file_name, f.language});
    }
    std::sort(offered_.begin(), offered_.end(),
              [](const OfferedVoice &a, const OfferedVoice &b) { return lower(a.name) < lower(b.name); });
}

bool VoiceCatalog::accepts(const std::string &name) const {
    if (!plausible_name(name)) return false;
    // The engine takes the first voice whose own name matches, else one
    // whose path matches, else one whose last path part matches; which
    // one among several depends on the order it reads its folders in, so
    // every candidate of the deciding kind must speak.
    const std::string suffix = "/" + lower(name);
    const auto by_voice_name = [&](const VoiceFile &f) { return same_name(f.voice_name, name); };
    const auto by_id = [&](const VoiceFile &f) { return same_name(f.id, name); };
    const auto by_last_part = [&](const VoiceFile &f) {
        const std::string id = lower(f.id);
        return id.size() > suffix.size() && id.compare(id.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    for (const auto &matches : {std::function<bool(const VoiceFile &)>(by_voice_name),
                                std::function<bool(const VoiceFile &)>(by_id),
                                std::function<bool(const VoiceFile &)>(by_last_part)}) {
        bool any = false, all_speak = true;
        for (const VoiceFile &f : files_) {
            if (!matches(f)) continue;
            any = true;
            all_speak = all_speak && f.speaks;
        }
        if (any) return all_speak;
    }
    return false;
}

std::string VoiceCatalog::listing() const {
    std::string out;
    for (const OfferedVoice &v : offered_)
        if (same_name(v.name, kMandarinVoice)) out += std::string(kServiceVoice) + "\t" + v.language + "\n";
    for (const OfferedVoice &v : offered_) out += v.name + "\t" + v.language + "\n";
    return out;
}

const VoiceCatalog &engine_voices() {
    static const VoiceCatalog catalogue(engine_voice_places());  // thread-safe initialisation
    return catalogue;
}

bool engine_voice_exists(const std::string &name) {
    if (name == kMandarinVoice && has_content(engine_voice_places().data_dir / "lang" / "sit" / "cmn-Latn-pinyin"))
        return true;
    return engine_voices().accepts(name);
}

}  // namespace speech
