// SPDX-License-Identifier: Apache-2.0
#include "voice_settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace sd_tts {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::replace(out.begin(), out.end(), '_', '-');
    return out;
}

std::string_view primary(std::string_view tag) { return tag.substr(0, tag.find('-')); }

bool parse_level(std::string_view v, int &out) {
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    int n = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (ec != std::errc() || end != v.data() + v.size()) return false;
    out = std::clamp(n, -100, 100);
    return true;
}

// "NULL" (and nothing) unset a string setting.
std::string string_value(std::string_view v) { return v == "NULL" ? std::string() : std::string(v); }

}  // namespace

std::vector<Voice> voices_from_list(std::string_view list) {
    std::vector<Voice> out;
    while (!list.empty()) {
        const std::size_t nl = list.find('\n');
        std::string_view line = list.substr(0, nl);
        list = nl == std::string_view::npos ? std::string_view() : list.substr(nl + 1);
        const std::size_t tab = line.find('\t');
        if (line.empty() || tab == 0) continue;
        Voice v;
        v.name = std::string(line.substr(0, tab));
        v.language = tab == std::string_view::npos ? v.name : std::string(line.substr(tab + 1));
        v.variant = "none";
        if (v.name == kMandarinVoice) {
            v.language = "zh";
            v.variant = "cmn";
        }
        out.push_back(std::move(v));
    }
    // The Mandarin voice first even if the list did not give it first.
    std::stable_partition(out.begin(), out.end(), [](const Voice &v) { return v.name == kMandarinVoice; });
    if (out.empty() || out.front().name != kMandarinVoice) out.insert(out.begin(), Voice{kMandarinVoice, "zh", "cmn"});
    return out;
}

bool VoiceSettings::apply(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    const std::string_view name = line.substr(0, eq);
    const std::string_view value = line.substr(eq + 1);
    if (name == "rate" || name == "pitch" || name == "volume") {
        int level = 0;
        if (!parse_level(value, level)) return false;
        (name == "rate" ? rate : name == "pitch" ? pitch : volume) = level;
        return true;
    }
    if (name == "punctuation_mode") {
        static const std::pair<const char *, Punctuation> kModes[] = {
            {"none", Punctuation::none}, {"some", Punctuation::some}, {"most", Punctuation::most}, {"all", Punctuation::all}};
        for (const auto &[text, mode] : kModes)
            if (value == text) return punctuation = mode, true;
        return value == "NULL";
    }
    if (name == "spelling_mode") {
        if (value == "on" || value == "off") return spelling = value == "on", true;
        return value == "NULL";
    }
    if (name == "cap_let_recogn") {
        static const std::pair<const char *, CapitalLetters> kModes[] = {
            {"none", CapitalLetters::none}, {"spell", CapitalLetters::spell}, {"icon", CapitalLetters::icon}};
        for (const auto &[text, mode] : kModes)
            if (value == text) return capitals = mode, true;
        return value == "NULL";
    }
    if (name == "voice") return voice_type = lower(string_value(value)), true;
    if (name == "language") return language = string_value(value), true;
    if (name == "synthesis_voice") return synthesis_voice = string_value(value), true;
    return true;  // pitch_range, punctuation_some and the like: nothing of ours
}

int service_level(int value) { return (std::clamp(value, -100, 100) + 100) / 2; }

// The server's volume 100, its default, is the engine's normal loudness (the
// service's 50): mapped as rate and pitch are, every message would be at
// twice the normal amplitude and loud passages would clip.
int service_volume(int value) { return (std::clamp(value, -100, 100) + 100) / 4; }

bool is_mandarin(std::string_view v) {
    const std::string tag = lower(v);
    if (tag == kMandarinVoice) return true;
    const std::string_view p = primary(tag);
    if (p == "cmn") return true;
    if (p != "zh") return false;
    // zh, zh-CN, zh-Hans, zh-SG, zh-TW...: Mandarin; Cantonese has its own.
    return tag.find("yue") == std::string::npos && tag != "zh-hk" && tag != "zh-mo";
}

std::string choose_voice(const VoiceSettings &s, const std::vector<Voice> &voices) {
    if (!s.synthesis_voice.empty()) {
        for (const Voice &v : voices)
            if (v.name == s.synthesis_voice) return v.name;
    }
    if (s.language.empty() || is_mandarin(s.language)) return kMandarinVoice;
    std::string tag = lower(s.language);
    // Chinese that is not Mandarin: Cantonese, the language of Hong Kong and Macau.
    if (primary(tag) == "zh") tag = "yue";
    for (const Voice &v : voices)
        if (lower(v.language) == tag || lower(v.name) == tag) return v.name;
    for (const Voice &v : voices)
        if (primary(lower(v.language)) == primary(tag) && v.name != kMandarinVoice) return v.name;
    return kMandarinVoice;
}

std::string session_params(const VoiceSettings &s, const std::string &voice, bool ssml) {
    return "voice_name = " + voice + ", text_encoding = utf8, sample_rate = 16000, speed = " +
           std::to_string(service_level(s.rate)) + ", pitch = " + std::to_string(service_level(s.pitch)) +
           ", volume = " + std::to_string(service_volume(s.volume)) + ", text_type = " + (ssml ? "ssml" : "text");
}

}  // namespace sd_tts
