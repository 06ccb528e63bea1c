// SPDX-License-Identifier: Apache-2.0
#include "ssml_values.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace speech::ssml {
namespace {

std::string_view trim(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t' || v.front() == '\n' || v.front() == '\r')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\n' || v.back() == '\r')) v.remove_suffix(1);
    return v;
}

bool ends_with(std::string_view v, std::string_view tail) {
    return v.size() >= tail.size() && v.substr(v.size() - tail.size()) == tail;
}

// A decimal number with an optional sign ("+1.5", "-20", "30"); at most
// 12 characters, so no overflow.
std::optional<double> number(std::string_view v, bool allow_sign) {
    if (v.empty() || v.size() > 12) return std::nullopt;
    std::size_t i = 0;
    if (v[0] == '+' || v[0] == '-') {
        if (!allow_sign) return std::nullopt;
        ++i;
    }
    bool digits = false, point = false;
    for (std::size_t k = i; k < v.size(); ++k) {
        if (v[k] >= '0' && v[k] <= '9') digits = true;
        else if (v[k] == '.' && !point) point = true;
        else return std::nullopt;
    }
    if (!digits) return std::nullopt;
    return std::strtod(std::string(v).c_str(), nullptr);
}

template <std::size_t N>
std::optional<double> word(std::string_view v, const std::pair<const char *, double> (&table)[N]) {
    for (const auto &[name, value] : table)
        if (v == name) return value;
    return std::nullopt;
}

bool is_signed(std::string_view v) { return !v.empty() && (v[0] == '+' || v[0] == '-'); }

// "N%" (absolute) or "+N%"/"-N%" (relative): the factor.
std::optional<double> percent(std::string_view v) {
    if (!ends_with(v, "%")) return std::nullopt;
    const auto n = number(v.substr(0, v.size() - 1), true);
    if (!n) return std::nullopt;
    const double f = is_signed(v) ? 1.0 + *n / 100.0 : *n / 100.0;
    return f >= 0 ? std::optional<double>(f) : std::nullopt;
}

std::vector<std::string_view> digit_groups(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] < '0' || s[i] > '9') {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
        out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

int value_of(std::string_view digits) {
    return digits.size() > 6 ? 1000000 : std::atoi(std::string(digits).c_str());
}

}  // namespace

std::optional<int> break_time(std::string_view v) {
    v = trim(v);
    double scale = 0;
    if (ends_with(v, "ms")) {
        v.remove_suffix(2);
        scale = 1;
    } else if (ends_with(v, "s")) {
        v.remove_suffix(1);
        scale = 1000;
    } else {
        return std::nullopt;
    }
    const auto n = number(v, false);
    if (!n || *n * scale > kMaxBreakMs) return std::nullopt;
    return static_cast<int>(std::lround(*n * scale));
}

std::optional<int> break_strength(std::string_view v) {
    static const std::pair<const char *, double> kStrengths[] = {
        {"none", 0}, {"x-weak", 100}, {"weak", 250}, {"medium", 500}, {"strong", 750}, {"x-strong", 1000}};
    const auto ms = word(trim(v), kStrengths);
    if (!ms) return std::nullopt;
    return static_cast<int>(*ms);
}

std::optional<double> rate_factor(std::string_view v) {
    static const std::pair<const char *, double> kRates[] = {
        {"x-slow", 0.5}, {"slow", 0.75}, {"medium", 1.0}, {"fast", 1.5}, {"x-fast", 2.0}, {"default", 1.0}};
    v = trim(v);
    if (const auto w = word(v, kRates)) return w;
    if (const auto p = percent(v)) return *p > 0 ? p : std::nullopt;
    const auto n = number(v, false);  // a plain multiplier
    return n && *n > 0 ? n : std::nullopt;
}

std::optional<double> pitch_factor(std::string_view v) {
    static const std::pair<const char *, double> kPitches[] = {
        {"x-low", 0.6}, {"low", 0.8}, {"medium", 1.0}, {"high", 1.2}, {"x-high", 1.4}, {"default", 1.0}};
    v = trim(v);
    if (const auto w = word(v, kPitches)) return w;
    if (const auto p = percent(v)) return p;
    if (is_signed(v) && ends_with(v, "st")) {
        const auto n = number(v.substr(0, v.size() - 2), true);
        if (n && std::fabs(*n) <= 48) return std::pow(2.0, *n / 12.0);
    }
    return std::nullopt;
}

std::optional<double> volume_factor(std::string_view v) {
    static const std::pair<const char *, double> kVolumes[] = {
        {"silent", 0.0}, {"x-soft", 0.25}, {"soft", 0.5}, {"medium", 1.0}, {"loud", 1.5}, {"x-loud", 2.0}, {"default", 1.0}};
    v = trim(v);
    if (const auto w = word(v, kVolumes)) return w;
    if (const auto p = percent(v)) return p;
    if (is_signed(v) && ends_with(v, "dB")) {
        const auto n = number(v.substr(0, v.size() - 2), true);
        if (n && std::fabs(*n) <= 60) return std::pow(10.0, *n / 20.0);
    }
    return std::nullopt;
}

std::optional<Prosody> emphasis_prosody(std::string_view level) {
    level = trim(level);
    if (level == "strong") return Prosody{0.8, 1.1, 1.4};
    if (level == "moderate" || level.empty()) return Prosody{0.9, 1.05, 1.2};
    if (level == "none") return Prosody{};
    if (level == "reduced") return Prosody{1.1, 0.95, 0.7};
    return std::nullopt;
}

bool valid_date_format(std::string_view f) {
    for (const char *known : {"ymd", "mdy", "dmy", "ym", "my", "md", "dm", "y", "m", "d"})
        if (f == known) return true;
    return false;
}

std::optional<std::string> date_text(std::string_view content, std::string_view format) {
    const std::vector<std::string_view> groups = digit_groups(content);
    if (groups.size() != format.size()) return std::nullopt;
    std::string year, month, day;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const int v = value_of(groups[i]);
        if (format[i] == 'y') year = std::string(groups[i]) + "年";
        if (format[i] == 'm') {
            if (v < 1 || v > 12) return std::nullopt;
            month = std::to_string(v) + "月";
        }
        if (format[i] == 'd') {
            if (v < 1 || v > 31) return std::nullopt;
            day = std::to_string(v) + "日";
        }
    }
    return year + month + day;
}

std::optional<std::string> time_text(std::string_view content) {
    const std::vector<std::string_view> groups = digit_groups(content);
    if (groups.size() < 2 || groups.size() > 3) return std::nullopt;
    const int h = value_of(groups[0]), m = value_of(groups[1]), s = groups.size() == 3 ? value_of(groups[2]) : 0;
    if (h > 24 || m > 59 || s > 59) return std::nullopt;
    std::string out = std::to_string(h) + "点";
    if (m == 0 && s == 0) return out;
    out += (m < 10 ? "0" : "") + std::to_string(m) + "分";
    if (groups.size() == 3) out += std::to_string(s) + "秒";
    return out;
}

std::string ordinal_text(std::string_view content) {
    content = trim(content);
    if (content.substr(0, 3) == "第") return std::string(content);
    return "第" + std::string(content);
}

std::optional<std::string> telephone_reading(std::string_view content) {
    static const char *const kDigits[] = {"ling2", "yao1", "er4", "san1", "si4", "wu3", "liu4", "qi1", "ba1", "jiu3"};
    std::string out;
    for (const char c : content) {
        if (c >= '0' && c <= '9') {
            if (!out.empty()) out += ' ';
            out += kDigits[c - '0'];
        } else if (c != ' ' && c != '-' && c != '+' && c != '(' && c != ')' && c != '.') {
            return std::nullopt;
        }
    }
    if (out.empty()) return std::nullopt;
    return out;
}

}  // namespace speech::ssml
