// SPDX-License-Identifier: Apache-2.0
#include "param_list.h"

namespace speech {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

bool parse_param_list(std::string_view text, std::vector<Param> &out) {
    out.clear();
    if (trim(text).empty()) return true;
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view pair = text.substr(0, comma);
        const std::size_t eq = pair.find('=');
        if (eq == std::string_view::npos) return false;
        const std::string_view key = trim(pair.substr(0, eq));
        const std::string_view value = trim(pair.substr(eq + 1));
        if (key.empty() || value.empty() || value.find('=') != std::string_view::npos) return false;
        out.push_back(Param{std::string(key), std::string(value)});
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

const std::string *find_param(const std::vector<Param> &params, std::string_view key) {
    const std::string *found = nullptr;
    for (const Param &p : params)
        if (p.key == key) found = &p.value;
    return found;
}

bool parse_small_uint(const std::string &text, int &out) {
    if (text.empty() || text.size() > 9) return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

}  // namespace speech
