// SPDX-License-Identifier: Apache-2.0
#include "numbers.h"

#include <array>

#include "number_words.h"

namespace speech::mandarin {
namespace {

constexpr std::array<const char *, 10> kDigit = {"ling2", "yi1", "er4", "san1", "si4",
                                                  "wu3",   "liu4", "qi1", "ba1", "jiu3"};

void add(std::string &out, std::string_view syllables) {
    if (syllables.empty()) return;
    if (!out.empty()) out += ' ';
    out += syllables;
}

// The tone that 一 takes before a syllable of tone `next`: 2 before a
// fourth tone, 4 before the others.
const char *yi_before(int next) { return next == 4 ? "yi2" : "yi4"; }

// A group of 1..9999 with its unit ("", "wan4", "yi4", "wan4 yi4"). `leading`
// when it is the number's first group, where 10..19 start with 十 alone.
void read_group(std::string &out, int g, bool leading, const char *unit) {
    static constexpr std::array<const char *, 4> kPlace = {"", "shi2", "bai3", "qian1"};
    const int d[4] = {g % 10, g / 10 % 10, g / 100 % 10, g / 1000};
    bool emitted = false, zero = false;
    for (int p = 3; p >= 0; --p) {
        const int x = d[p];
        if (x == 0) {
            if (emitted) zero = true;
            continue;
        }
        if (zero) add(out, "ling2");
        zero = false;
        const char *word = kDigit[x];
        if (p == 1 && x == 1 && !emitted && leading) word = "";  // 十五, not 一十五
        else if (x == 2 && (p == 3 || (p == 0 && g == 2 && *unit))) word = "liang3";  // 两千, 两万
        else if (x == 1 && p >= 2) word = "yi4";                                     // 一百, 一千
        else if (x == 1 && p == 0 && g == 1 && *unit) word = "yi2";                  // 一万, 一亿
        add(out, word);
        add(out, kPlace[p]);
        emitted = true;
    }
    add(out, unit);
}


std::size_t digits_end(const std::vector<NormChar> &chars, std::size_t p) {
    while (p < chars.size() && is_ascii_digit(chars[p].c)) ++p;
    return p;
}

std::string digits_of(const std::vector<NormChar> &chars, std::size_t from, std::size_t to) {
    std::string s;
    for (std::size_t k = from; k < to; ++k) s += static_cast<char>(chars[k].c);
    return s;
}

int small_value(std::string_view digits) {
    if (digits.size() > 4) return 99999;
    int v = 0;
    for (char c : digits) v = v * 10 + (c - '0');
    return v;
}

// Digits, with optional thousands separators and decimal part.
struct Core {
    std::size_t end = 0;
    std::string digits;  // the integer part without separators
    std::string fraction;
    bool grouped = false;
    bool has_fraction = false;
};

void parse_core(const std::vector<NormChar> &chars, std::size_t p, Core &core) {
    std::size_t q = digits_end(chars, p);
    core.digits = digits_of(chars, p, q);
    if (q - p <= 3) {
        // 1,234,567: groups of exactly three digits after a comma.
        while (char_at(chars, q) == U',' && digits_end(chars, q + 1) == q + 4) {
            core.digits += digits_of(chars, q + 1, q + 4);
            core.grouped = true;
            q += 4;
        }
    }
    if (char_at(chars, q) == U'.' && is_ascii_digit(char_at(chars, q + 1))) {
        const std::size_t f = digits_end(chars, q + 1);
        core.fraction = digits_of(chars, q + 1, f);
        core.has_fraction = true;
        q = f;
    }
    core.end = q;
}

bool leading_zero(std::string_view digits) { return digits.size() >= 2 && digits[0] == '0'; }

// What follows a number and changes how it is said.
struct Context {
    bool ordinal = false;
    const Measure *measure = nullptr;
    int tone = -1;  // the measure's tone when it is a unit or currency
};

std::string integer_reading(std::string_view digits, NumberMode mode, const Context &ctx) {
    if (mode == NumberMode::digits) return digit_by_digit(digits, false);
    std::string r = cardinal(digits);
    if (ctx.ordinal) {
        // An order is said with 二 throughout: 第2000 di4 er4 qian1.
        for (std::size_t k = r.find("liang3"); k != std::string::npos; k = r.find("liang3", k))
            r.replace(k, 6, "er4");
        return r;
    }
    const int tone = ctx.measure != nullptr ? ctx.measure->tone : ctx.tone;
    const bool counted = ctx.measure != nullptr || ctx.tone >= 0;
    if (!counted) return r;
    if (r == "er4") return "liang3";
    if (r == "yi1" && tone > 0) return yi_before(tone);
    return r;
}

std::string core_reading(const Core &core, NumberMode mode, const Context &ctx) {
    if (!core.has_fraction) return integer_reading(core.digits, mode, ctx);
    std::string r = integer_reading(core.digits, mode, Context{});
    add(r, "dian3");
    add(r, digit_by_digit(core.fraction, false));
    return r;
}

// A number with its sign, currency, percent or unit.
struct Quantity {
    std::size_t begin = 0, end = 0;
    bool negative = false;
    const Currency *currency = nullptr;
    Core core;
    const char *per = nullptr;  // "bai3 fen1 zhi1" or "qian1 fen1 zhi1"
    const Unit *unit = nullptr;
    const Unit *unit_apart = nullptr;  // 2 kg: its own token says it; here it makes the number count
    bool plain() const {
        return !negative && currency == nullptr && per == nullptr && unit == nullptr && unit_apart == nullptr;
    }
};

// The first character after the blanks from `p` on.
std::size_t after_blanks(const std::vector<NormChar> &chars, std::size_t p) {
    while (p < chars.size() && is_blank(chars[p])) ++p;
    return p;
}

// The currency sign written apart before the number at `p` (¥ 120), or null.
const Currency *currency_apart(const std::vector<NormChar> &chars, std::size_t p) {
    std::size_t k = p;
    while (k > 0 && is_blank(chars[k - 1])) --k;
    return k < p && k > 0 ? currency_at(chars, k - 1) : nullptr;
}

// The percent or per-mille sign at `p`.
const char *per_at(const std::vector<NormChar> &chars, std::size_t p) {
    if (char_at(chars, p) == U'%') return "bai3 fen1 zhi1";
    if (char_at(chars, p) == U'‰') return "qian1 fen1 zhi1";
    return nullptr;
}

bool parse_quantity(const std::vector<NormChar> &chars, std::size_t p, bool allow_sign, Quantity &q) {
    q = Quantity{};
    q.begin = p;
    for (int k = 0; k < 2; ++k) {
        if (allow_sign && !q.negative && char_at(chars, p) == U'-') {
            q.negative = true;
            ++p;
        } else if (q.currency == nullptr && (q.currency = currency_at(chars, p)) != nullptr) {
            ++p;
        }
    }
    if (!is_ascii_digit(char_at(chars, p))) return false;
    if (p == q.begin) q.currency = currency_apart(chars, p);
    parse_core(chars, p, q.core);
    p = q.core.end;
    if ((q.per = per_at(chars, p)) != nullptr) {
        ++p;
    } else if (q.currency == nullptr && (q.unit = unit_at(chars, p)) != nullptr) {
        p += q.unit->text.size();
    } else if (q.currency == nullptr && after_blanks(chars, p) > p) {
        // A sign or unit written apart (5 %, 2 kg) is its own token.
        const std::size_t s = after_blanks(chars, p);
        if ((q.per = per_at(chars, s)) == nullptr) q.unit_apart = unit_at(chars, s);
    }
    q.end = p;
    return true;
}

// `years`: the first of a range whose end is a year (1937-1945年).
std::string quantity_reading(const std::vector<NormChar> &chars, const Quantity &q, NumberMode mode,
                             const Measure *measure, bool years = false) {
    std::string r;
    if (q.negative) add(r, "fu4");
    if (q.per != nullptr) add(r, q.per);
    Context ctx;
    ctx.ordinal = ordinal_before(chars, q.begin);
    if (q.unit != nullptr) ctx.tone = q.unit->tone;
    else if (q.unit_apart != nullptr) ctx.tone = q.unit_apart->tone;
    else if (q.currency != nullptr) ctx.tone = q.currency->tone;
    else if (q.per == nullptr) ctx.measure = measure;
    const Core &c = q.core;
    if (mode == NumberMode::by_context && q.plain() && !c.grouped && !c.has_fraction) {
        const bool year = (c.digits.size() == 4 && (years || char_at(chars, c.end) == U'年')) ||
                          (c.digits.size() == 2 && matches(chars, c.end, U"年代"));  // 90年代
        const bool round = c.digits.find_first_not_of('0', 2) == std::string::npos;
        if (year) return digit_by_digit(c.digits, false);
        if (leading_zero(c.digits) || (c.digits.size() >= 7 && !round) || code_word_before(chars, q.begin))
            return digit_by_digit(c.digits, true);
    }
    add(r, core_reading(c, mode, ctx));
    if (q.unit != nullptr) add(r, q.unit->reading);
    if (q.currency != nullptr) add(r, q.currency->reading);
    return r;
}

std::string plain_reading(std::string_view digits, NumberMode mode) {
    return mode == NumberMode::digits ? digit_by_digit(digits, false) : cardinal(digits);
}

// 2023-05-06, 2023/5/6, 2023.5.6
bool read_date(const std::vector<NormChar> &chars, std::size_t p, NumberMode mode, NumberReading &out) {
    const std::size_t y = digits_end(chars, p);
    const char32_t sep = char_at(chars, y);
    if (y - p != 4 || (sep != U'-' && sep != U'/' && sep != U'.')) return false;
    const std::size_t m = digits_end(chars, y + 1);
    if (m - y - 1 < 1 || m - y - 1 > 2 || char_at(chars, m) != sep) return false;
    const std::size_t d = digits_end(chars, m + 1);
    if (d - m - 1 < 1 || d - m - 1 > 2) return false;
    if (char_at(chars, d) == sep && is_ascii_digit(char_at(chars, d + 1))) return false;
    const std::string month = digits_of(chars, y + 1, m), day = digits_of(chars, m + 1, d);
    const int mv = small_value(month), dv = small_value(day);
    if (mv < 1 || mv > 12 || dv < 1 || dv > 31) return false;
    std::string r = mode == NumberMode::values ? cardinal(digits_of(chars, p, y))
                                               : digit_by_digit(digits_of(chars, p, y), false);
    add(r, "nian2");
    add(r, plain_reading(mode == NumberMode::digits ? month : std::to_string(mv), mode));
    add(r, "yue4");
    add(r, plain_reading(mode == NumberMode::digits ? day : std::to_string(dv), mode));
    add(r, "ri4");
    out = NumberReading{d - p, r};
    return true;
}

// Minutes or seconds of a time: 05 as 零五, 30 as 三十.
std::string sixtieths(const std::string &two, NumberMode mode) {
    if (mode == NumberMode::digits) return digit_by_digit(two, false);
    if (two == "00") return "ling2";
    std::string r = two[0] == '0' ? "ling2" : "";
    add(r, cardinal(two));
    return r;
}

// 12:30, 8:05:10 (hours to 24, minutes and seconds of two digits to 59).
bool read_time(const std::vector<NormChar> &chars, std::size_t p, NumberMode mode, NumberReading &out) {
    const std::size_t h = digits_end(chars, p);
    if (h - p > 2 || char_at(chars, h) != U':') return false;
    const std::size_t m = digits_end(chars, h + 1);
    if (m - h - 1 != 2) return false;
    std::size_t s = m;
    if (char_at(chars, m) == U':' && digits_end(chars, m + 1) == m + 3) s = m + 3;
    if (is_ascii_digit(char_at(chars, s)) || (char_at(chars, s) == U':' && is_ascii_digit(char_at(chars, s + 1)))) return false;
    const std::string hour = digits_of(chars, p, h), minute = digits_of(chars, h + 1, m);
    const std::string second = s > m ? digits_of(chars, m + 1, s) : "";
    if (small_value(hour) > 24 || small_value(minute) > 59 || (!second.empty() && small_value(second) > 59))
        return false;
    std::string r;
    if (mode == NumberMode::digits) {
        r = digit_by_digit(hour, false);
    } else {
        r = cardinal(hour);
        if (r == "er4") r = "liang3";  // 两点
    }
    add(r, "dian3");
    if (mode == NumberMode::digits || minute != "00" || !second.empty()) {
        add(r, sixtieths(minute, mode));
        add(r, "fen1");
    }
    if (!second.empty()) {
        add(r, sixtieths(second, mode));
        add(r, "miao3");
    }
    out = NumberReading{s - p, r};
    return true;
}

// Digit groups at `p` joined by `sep` (1:2:3, 1.2.3), read as values joined
// by `word`; only when there are at least `min_joins` joins.
bool read_joined(const std::vector<NormChar> &chars, std::size_t p, char32_t sep, std::string_view word,
                 int min_joins, NumberMode mode, NumberReading &out) {
    std::size_t q = digits_end(chars, p);
    int joins = 0;
    std::string r = plain_reading(digits_of(chars, p, q), mode);
    while (char_at(chars, q) == sep && is_ascii_digit(char_at(chars, q + 1))) {
        const std::size_t e = digits_end(chars, q + 1);
        add(r, word);
        add(r, plain_reading(digits_of(chars, q + 1, e), mode));
        q = e;
        ++joins;
    }
    if (joins < min_joins) return false;
    out = NumberReading{q - p, r};
    return true;
}

// 3:2, 1:2:3 (anything with a colon that is not a time).
bool read_ratio(const std::vector<NormChar> &chars, std::size_t p, NumberMode mode, NumberReading &out) {
    return read_joined(chars, p, U':', "bi3", 1, mode, out);
}

// 2/3 as 三分之二.
bool read_fraction(const std::vector<NormChar> &chars, std::size_t p, NumberMode mode, NumberReading &out) {
    const std::size_t n = digits_end(chars, p);
    if (char_at(chars, n) != U'/' || !is_ascii_digit(char_at(chars, n + 1))) return false;
    const std::size_t d = digits_end(chars, n + 1);
    if (char_at(chars, d) == U'/' && is_ascii_digit(char_at(chars, d + 1))) return false;
    if (char_at(chars, d) == U'.' && is_ascii_digit(char_at(chars, d + 1))) return false;
    std::string r = plain_reading(digits_of(chars, n + 1, d), mode);
    add(r, "fen1 zhi1");
    add(r, plain_reading(digits_of(chars, p, n), mode));
    out = NumberReading{d - p, r};
    return true;
}

// 1.2.3: values joined by 点.
bool read_dotted(const std::vector<NormChar> &chars, std::size_t p, NumberMode mode, NumberReading &out) {
    return read_joined(chars, p, U'.', "dian3", 2, mode, out);
}

// For numbers without leading zeros.
bool less_than(const std::string &a, const std::string &b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

bool is_range_sign(char32_t c) { return c == U'-' || c == U'~' || c == U'–' || c == U'—'; }

// Digit groups joined by hyphens (010-12345678, 400-800-8888).
bool read_hyphen_code(const std::vector<NormChar> &chars, std::size_t p, NumberMode mode, NumberReading &out) {
    std::size_t q = digits_end(chars, p);
    std::string r;
    std::size_t start = p;
    for (;;) {
        const std::string group = digits_of(chars, start, q);
        add(r, mode == NumberMode::values ? cardinal(group) : digit_by_digit(group, mode == NumberMode::by_context));
        if (char_at(chars, q) != U'-' || !is_ascii_digit(char_at(chars, q + 1))) break;
        start = q + 1;
        q = digits_end(chars, start);
    }
    if (start == p) return false;
    out = NumberReading{q - p, r};
    return true;
}

bool sign_allowed(const std::vector<NormChar> &chars, std::size_t p) {
    if (p == 0) return true;
    const NormChar &before = chars[p - 1];
    return before.cls != CharClass::digit && before.cls != CharClass::latin && before.c != U')' &&
           before.c != U'.';
}

// A small plain number, as a range may join: no leading zeros, at most six digits.
bool range_end(const Quantity &q) { return q.core.digits.size() <= 6 && !leading_zero(q.core.digits); }

}  // namespace

std::string digit_by_digit(std::string_view digits, bool yao) {
    std::string r;
    for (char c : digits) {
        if (c < '0' || c > '9') continue;
        add(r, c == '1' && yao ? "yao1" : kDigit[c - '0']);
    }
    return r;
}

std::string cardinal(std::string_view digits) {
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string_view::npos) return "ling2";
    digits.remove_prefix(first);
    if (digits.size() > 16) return digit_by_digit(digits, false);
    static constexpr std::array<const char *, 4> kUnit = {"", "wan4", "yi4", "wan4 yi4"};
    const std::size_t groups = (digits.size() + 3) / 4;
    std::string out;
    bool started = false, pending_zero = false;
    std::size_t from = 0, len = digits.size() - (groups - 1) * 4;
    for (std::size_t k = groups; k-- > 0;) {
        const int g = small_value(digits.substr(from, len));
        from += len;
        len = 4;
        if (g == 0) {
            pending_zero = started;
            continue;
        }
        if (started && (pending_zero || g < 1000)) add(out, "ling2");
        read_group(out, g, !started, kUnit[k]);
        started = true;
        pending_zero = false;
    }
    return out;
}

NumberReading read_number(const std::vector<NormChar> &chars, std::size_t i, NumberMode mode) {
    NumberReading out;
    if (i >= chars.size()) return out;
    if (is_ascii_digit(chars[i].c)) {
        // Dates and times, and ranges of them: 9:00-17:30.
        using Reader = bool (*)(const std::vector<NormChar> &, std::size_t, NumberMode, NumberReading &);
        for (Reader read : {read_date, read_time}) {
            if (!read(chars, i, mode, out)) continue;
            const std::size_t end = i + out.length;
            NumberReading second;
            if (is_range_sign(char_at(chars, end)) && is_ascii_digit(char_at(chars, end + 1)) && read(chars, end + 1, mode, second)) {
                add(out.reading, "dao4");
                add(out.reading, second.reading);
                out.length += 1 + second.length;
            }
            return out;
        }
        if (read_ratio(chars, i, mode, out) || read_fraction(chars, i, mode, out) || read_dotted(chars, i, mode, out))
            return out;
    }
    Quantity a;
    if (!parse_quantity(chars, i, sign_allowed(chars, i), a)) return out;
    const char32_t joint = char_at(chars, a.end);
    Quantity b;
    const bool plain_pair = a.plain() && !a.core.grouped && !a.core.has_fraction && joint == U'-' &&
                            parse_quantity(chars, a.end + 1, false, b) && b.plain() && !b.core.grouped &&
                            !b.core.has_fraction && range_end(a) && range_end(b) &&
                            !(char_at(chars, b.end) == U'-' && is_ascii_digit(char_at(chars, b.end + 1)));
    if (plain_pair && !less_than(a.core.digits, b.core.digits)) {
        // 3-2 going down is a score, not a range.
        std::string r = plain_reading(a.core.digits, mode);
        add(r, "bi3");
        add(r, plain_reading(b.core.digits, mode));
        out = NumberReading{b.end - i, r};
        return out;
    }
    if (is_range_sign(joint) && parse_quantity(chars, a.end + 1, joint != U'-', b) &&
        (joint != U'-' || (range_end(a) && range_end(b) && !(char_at(chars, b.end) == U'-' && is_ascii_digit(char_at(chars, b.end + 1)))))) {
        // A sign written once stands for both ends: 50-60% 百分之五十到百分之六十,
        // ¥50-60 五十元到六十元.
        if (a.per == nullptr && a.currency == nullptr && a.unit == nullptr) a.per = b.per;
        if (b.per == nullptr && b.currency == nullptr && b.unit == nullptr) {
            b.per = a.per;
            b.currency = a.currency;
        }
        const Measure *measure = measure_after(chars, b.end);
        const bool years = b.plain() && b.core.digits.size() == 4 && char_at(chars, b.end) == U'年';
        std::string r = quantity_reading(chars, a, mode, measure, years);
        add(r, "dao4");
        add(r, quantity_reading(chars, b, mode, measure));
        out = NumberReading{b.end - i, r};
        return out;
    }
    if (joint == U'-' && a.plain() && !a.core.grouped && !a.core.has_fraction && read_hyphen_code(chars, i, mode, out))
        return out;
    out = NumberReading{a.end - i, quantity_reading(chars, a, mode, measure_after(chars, a.end))};
    return out;
}

bool range_sign_after_unit(const std::vector<NormChar> &chars, std::size_t i) {
    const char32_t c = char_at(chars, i);
    if (c != U'-' && c != U'~' && c != U'–' && c != U'—') return false;
    std::size_t j = after_blanks(chars, i + 1);
    if (char_at(chars, j) == U'第') ++j;
    if (!is_ascii_digit(char_at(chars, j))) return false;
    constexpr std::size_t kLongestUnit = 4;  // 3个小时-5个小时
    std::size_t k = i;
    while (k > 0 && is_blank(chars[k - 1])) --k;
    std::size_t units = 0;
    for (; k > 0 && chars[k - 1].cls == CharClass::han && units <= kLongestUnit; --k) ++units;
    if (units == 0 || units > kLongestUnit) return false;
    while (k > 0 && is_blank(chars[k - 1])) --k;
    return k > 0 && is_ascii_digit(chars[k - 1].c);
}

bool said_with_number_apart(const std::vector<NormChar> &chars, std::size_t i) {
    if (currency_at(chars, i) != nullptr) {
        const std::size_t d = after_blanks(chars, i + 1);
        return d > i + 1 && is_ascii_digit(char_at(chars, d));
    }
    if (per_at(chars, i) == nullptr) return false;
    std::size_t k = i;
    while (k > 0 && is_blank(chars[k - 1])) --k;
    return k < i && k > 0 && is_ascii_digit(chars[k - 1].c);
}

}  // namespace speech::mandarin
