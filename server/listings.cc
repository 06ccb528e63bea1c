// SPDX-License-Identifier: Apache-2.0
#include "listings.h"

#include <vector>

#include <nlohmann/json.hpp>

#include "tab_pairs.h"

namespace tts_server {
namespace {

using nlohmann::json;

const char *const kModels[] = {"tts-1", "tts-1-hd"};

bool starts_with(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

std::string models_body() {
    json data = json::array();
    // Every model name is the same synthesis: the names are the ones
    // clients send.
    for (const char *id : kModels) data.push_back({{"id", id}, {"object", "model"}, {"created", 0}, {"owned_by", "tts"}});
    return json{{"object", "list"}, {"data", data}}.dump() + "\n";
}

std::string audio_models_body() {
    json models = json::array();
    for (const char *id : kModels) models.push_back({{"id", id}});
    return json{{"models", models}}.dump() + "\n";
}

std::string audio_voices_body(const std::string &service_list) {
    // Rank 0: the service's own voice (first in its list) and Mandarin;
    // 1: other Chinese; 2: voices that spell Chinese characters out or skip
    // them.
    std::vector<json> ranked[3];
    bool first = true;
    for (const auto &[id, language] : tab_pairs(service_list)) {
        const bool service_voice = first;
        first = false;
        if (id.empty()) continue;
        if (service_voice || starts_with(language, "cmn")) {
            ranked[0].push_back({{"id", id}, {"name", id + " (Mandarin)"}});
        } else if (starts_with(language, "yue") || starts_with(language, "hak") || starts_with(language, "zh")) {
            ranked[1].push_back({{"id", id}, {"name", id + " (" + language + ")"}});
        } else {
            ranked[2].push_back({{"id", id}, {"name", id + " (" + language + ", does not read Chinese characters)"}});
        }
    }
    json voices = json::array();
    for (const auto &group : ranked)
        for (const auto &v : group) voices.push_back(v);
    return json{{"voices", voices}}.dump() + "\n";
}

}  // namespace tts_server
