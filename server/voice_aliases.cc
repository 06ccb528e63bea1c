// SPDX-License-Identifier: Apache-2.0
#include "voice_aliases.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace tts_server {
namespace {

constexpr const char *kDefaultVoice = "xiaoxin";

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

bool plain_voice_name(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
               c == '+' || c == '.';
    });
}

const std::vector<std::string> &VoiceAliases::api_voice_names() {
    static const std::vector<std::string> names = {"alloy", "ash",   "ballad",  "coral", "echo",  "fable", "onyx",
                                                   "nova",  "sage",  "shimmer", "verse", "marin", "cedar"};
    return names;
}

VoiceAliases::VoiceAliases() {
    for (const std::string &name : api_voice_names()) voices_[name] = kDefaultVoice;
}

std::string VoiceAliases::set(std::string_view spec) {
    const auto eq = spec.find('=');
    if (eq == std::string_view::npos) return "an alias is NAME=VOICE, not '" + std::string(spec) + "'";
    const std::string_view name = trimmed(spec.substr(0, eq));
    const std::string_view voice = trimmed(spec.substr(eq + 1));
    if (!plain_voice_name(name) || !plain_voice_name(voice))
        return "an alias's NAME and VOICE are letters, digits, '-', '_', '+' or '.': '" + std::string(spec) + "'";
    voices_[lower(name)] = std::string(voice);
    return {};
}

std::string VoiceAliases::load(const std::string &path) {
    std::ifstream in(path);
    if (!in) return "cannot read the voice alias file " + path;
    std::string line;
    for (unsigned number = 1; std::getline(in, line); ++number) {
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == '#') continue;
        if (std::string e = set(text); !e.empty()) return path + ":" + std::to_string(number) + ": " + e;
    }
    if (in.bad()) return "cannot read the voice alias file " + path;
    return {};
}

const std::string *VoiceAliases::find(std::string_view name) const {
    const auto it = voices_.find(lower(name));
    return it == voices_.end() ? nullptr : &it->second;
}

}  // namespace tts_server
