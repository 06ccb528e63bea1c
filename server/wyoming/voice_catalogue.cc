// SPDX-License-Identifier: Apache-2.0
#include "wyoming/voice_catalogue.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "tab_pairs.h"

namespace tts_server::wyoming {
namespace {

const nlohmann::json kEngineAttribution = {{"name", "eSpeak NG"}, {"url", "https://github.com/espeak-ng/espeak-ng"}};

std::string lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "zh_CN", "zh-cn" and "ZH-CN" alike: lower case, '-' between parts.
std::string normal_form(std::string s) {
    std::replace(s.begin(), s.end(), '_', '-');
    return lower(s);
}

std::string primary(const std::string &normal) { return normal.substr(0, normal.find('-')); }

}  // namespace

std::vector<std::string> locales_of(const std::string &tag) {
    const std::string t = lower(tag);
    if (t == "cmn" || t.rfind("cmn-", 0) == 0) return {"zh_CN", "zh_TW", "zh_SG"};
    if (t == "yue" || t.rfind("yue-", 0) == 0) return {"zh_HK"};
    // language[-region][-anything else]: a region is two letters or three
    // digits.
    std::vector<std::string> parts;
    std::istringstream in(t);
    for (std::string p; std::getline(in, p, '-');) parts.push_back(p);
    if (parts.empty() || parts[0].empty()) return {tag};
    std::string locale = parts[0];
    if (parts.size() > 1) {
        const std::string &r = parts[1];
        const bool letters = r.size() == 2 && std::all_of(r.begin(), r.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
        const bool digits = r.size() == 3 && std::all_of(r.begin(), r.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
        if (letters || digits) {
            std::string region = r;
            for (char &c : region) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            locale += "_" + region;
        }
    }
    return {locale};
}

VoiceCatalogue VoiceCatalogue::from_lines(const std::string &lines) {
    VoiceCatalogue c;
    for (auto &[name, tag] : tab_pairs(lines)) {
        if (name.empty() && tag.empty()) continue;  // an empty line
        Voice v{std::move(name), std::move(tag), {}};
        v.languages = locales_of(v.tag.empty() ? v.name : v.tag);
        c.voices_.push_back(std::move(v));
    }
    return c;
}

bool VoiceCatalogue::has(const std::string &name) const {
    return std::any_of(voices_.begin(), voices_.end(), [&](const Voice &v) { return v.name == name; });
}

std::optional<std::string> VoiceCatalogue::for_language(const std::string &language) const {
    const std::string want = normal_form(language);
    if (want.empty()) return std::nullopt;
    for (const Voice &v : voices_)
        for (const std::string &l : v.languages)
            if (normal_form(l) == want) return v.name;
    const std::string bare = primary(want);
    for (const Voice &v : voices_)
        if (lower(v.name) == bare && primary(normal_form(v.languages.front())) == bare) return v.name;
    for (const Voice &v : voices_)
        for (const std::string &l : v.languages)
            if (primary(normal_form(l)) == bare) return v.name;
    return std::nullopt;
}

nlohmann::json VoiceCatalogue::info(const std::string &version) const {
    nlohmann::json voices = nlohmann::json::array();
    for (const Voice &v : voices_) {
        voices.push_back({{"name", v.name},
                          {"description", v.name + " (" + v.tag + ")"},
                          {"attribution", kEngineAttribution},
                          {"installed", true},
                          {"version", version},
                          {"languages", v.languages}});
    }
    const nlohmann::json program = {{"name", "tts"},
                                    {"description", "tts-server: offline speech, Mandarin first"},
                                    {"attribution", kEngineAttribution},
                                    {"installed", true},
                                    {"version", version},
                                    {"supports_synthesize_streaming", true},
                                    {"voices", voices}};
    return {{"tts", nlohmann::json::array({program})}};
}

}  // namespace tts_server::wyoming
