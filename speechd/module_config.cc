// SPDX-License-Identifier: Apache-2.0
#include "module_config.h"

#include <cctype>
#include <charconv>
#include "trim.h"

namespace sd_tts {

namespace {

std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
    return v;
}

}  // namespace

ModuleConfig parse_config(std::string_view text, std::vector<std::string> &warnings) {
    ModuleConfig config;
    int number = 0;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        ++number;
        const std::string_view raw = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        const std::string_view line = trim(raw);
        if (line.empty() || line.front() == '#') continue;
        std::size_t sp = 0;
        while (sp < line.size() && !std::isspace(static_cast<unsigned char>(line[sp]))) ++sp;
        const std::string_view key = line.substr(0, sp);
        const std::string_view value = unquote(trim(line.substr(sp)));
        const std::string where = "line " + std::to_string(number) + ": ";
        if (key == "TtsLexicons") {
            if (value.find(',') != std::string_view::npos)
                warnings.push_back(where + "a lexicon path may not hold a comma");
            else
                config.lexicons = std::string(value);
        } else if (key == "TtsMaxMessageSeconds") {
            int n = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (ec != std::errc() || end != value.data() + value.size() || n < 1 || n > 86400)
                warnings.push_back(where + "TtsMaxMessageSeconds takes 1..86400");
            else
                config.max_message_seconds = n;
        } else {
            warnings.push_back(where + "unknown option " + std::string(key));
        }
    }
    return config;
}

}  // namespace sd_tts
