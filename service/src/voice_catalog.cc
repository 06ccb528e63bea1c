// SPDX-License-Identifier: Apache-2.0
#include "voice_catalog.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <system_error>

namespace speech {
namespace {

namespace fs = std::filesystem;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// The engine looks in $ESPEAK_DATA_PATH/espeak-ng-data first, then in its
// built-in data folder.
fs::path engine_data_dir() {
    std::error_code ec;
    if (const char *env = std::getenv("ESPEAK_DATA_PATH")) {
        fs::path p = fs::path(env) / "espeak-ng-data";
        if (fs::is_directory(p, ec)) return p;
    }
    return fs::path(SPEECH_ENGINE_DATA_DIR);
}

std::set<std::string> read_catalogue() {
    std::set<std::string> names;
    const fs::path data = engine_data_dir();
    for (const char *sub : {"lang", "voices"}) {
        std::error_code ec;
        fs::recursive_directory_iterator it(data / sub, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_regular_file(ec)) names.insert(lower(it->path().filename().string()));
    }
    return names;
}

bool plausible_name(const std::string &name) {
    if (name.empty() || name.size() > 64) return false;
    return std::all_of(name.begin(), name.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '_'; });
}

}  // namespace

bool engine_voice_exists(const std::string &name) {
    if (!plausible_name(name)) return false;
    // The service's own voice is checked by its file alone, sparing the
    // common case the walk through the whole catalogue.
    if (name == kMandarinVoice) {
        std::error_code ec;
        if (fs::is_regular_file(engine_data_dir() / "lang" / "sit" / "cmn-Latn-pinyin", ec)) return true;
    }
    static const std::set<std::string> catalogue = read_catalogue();  // thread-safe initialisation
    return catalogue.count(lower(name)) != 0;
}

}  // namespace speech
