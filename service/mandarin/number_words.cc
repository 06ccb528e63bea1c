// SPDX-License-Identifier: Apache-2.0
#include "number_words.h"

namespace speech::mandarin {
namespace {

bool is_ascii_letter(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z'); }

constexpr Measure kMeasures[] = {
    {U"个", 4}, {U"位", 4}, {U"只", 1}, {U"本", 3}, {U"次", 4}, {U"件", 4}, {U"张", 1}, {U"条", 2},
    {U"天", 1}, {U"年", 2}, {U"岁", 4}, {U"元", 2}, {U"块", 4}, {U"斤", 1}, {U"米", 3}, {U"名", 2},
    {U"人", 2}, {U"家", 1}, {U"种", 3}, {U"辆", 4}, {U"台", 2}, {U"部", 4}, {U"套", 4}, {U"棵", 1},
    {U"头", 2}, {U"匹", 3}, {U"句", 4}, {U"分", 1}, {U"秒", 3}, {U"周", 1}, {U"倍", 4}, {U"份", 4},
    {U"批", 1}, {U"双", 1}, {U"对", 4}, {U"杯", 1}, {U"瓶", 2}, {U"碗", 3}, {U"首", 3}, {U"篇", 1},
    {U"场", 3}, {U"口", 3}, {U"颗", 1}, {U"根", 1}, {U"把", 3}, {U"座", 4}, {U"所", 3}, {U"间", 1},
    {U"节", 2}, {U"门", 2}, {U"项", 4}, {U"架", 4}, {U"艘", 1}, {U"封", 1}, {U"幅", 2}, {U"片", 4},
    {U"遍", 4}, {U"趟", 4}, {U"步", 4}, {U"排", 2}, {U"届", 4}, {U"期", 1}, {U"千", 1}, {U"万", 4},
    {U"亿", 4}, {U"百", 3}, {U"克", 4}, {U"吨", 1}, {U"升", 1}, {U"里", 3}, {U"公", 1}, {U"毫", 2},
    {U"厘", 2}, {U"小时", 3}, {U"页", 4}, {U"层", 2}, {U"集", 2}, {U"盒", 2}, {U"包", 1}, {U"箱", 1},
    {U"袋", 4}, {U"声", 1}, {U"下", 4}, {U"回", 2}, {U"顿", 4}, {U"段", 4}, {U"支", 1}, {U"道", 4},
    {U"股", 3}, {U"群", 2}, {U"堆", 1}, {U"桌", 1}, {U"轮", 2}, {U"季", 4}, {U"章", 1}, {U"样", 4},
    {U"枚", 2}, {U"栋", 4}, {U"幢", 4}, {U"处", 4}, {U"户", 4}, {U"粒", 4}, {U"滴", 1}, {U"局", 2},
    {U"盘", 2}, {U"站", 4}, {U"栏", 2}, {U"朵", 3}, {U"扇", 4}, {U"面", 4},
    {U"点", 0}, {U"星期", 1}, {U"分钟", 1},
};

// Before these words a number is a code read digit by digit (1 as yao1).
constexpr std::u32string_view kCodeWords[] = {U"电话", U"手机", U"号码", U"编号", U"尾号", U"邮编", U"账号",
                                              U"工号", U"学号", U"车次", U"验证码", U"密码", U"代码", U"卡号",
                                              U"单号", U"航班", U"热线", U"房间"};

constexpr Unit kUnits[] = {
    {U"km/h", "gong1 li3 mei3 xiao3 shi2", 1}, {U"m/s", "mi3 mei3 miao3", 3},
    {U"km²", "ping2 fang1 gong1 li3", 2},      {U"m²", "ping2 fang1 mi3", 2},
    {U"㎡", "ping2 fang1 mi3", 2},              {U"m³", "li4 fang1 mi3", 4},
    {U"km", "gong1 li3", 1},                   {U"cm", "li2 mi3", 2},
    {U"mm", "hao2 mi3", 2},                    {U"m", "mi3", 3},
    {U"kg", "gong1 jin1", 1},                  {U"mg", "hao2 ke4", 2},
    {U"g", "ke4", 4},                          {U"h", "xiao3 shi2", 3},                          {U"ml", "hao2 sheng1", 2},
    {U"mL", "hao2 sheng1", 2},                 {U"L", "sheng1", 1},
    {U"℃", "she4 shi4 du4", -1},               {U"°C", "she4 shi4 du4", -1},
    {U"℉", "hua2 shi4 du4", -1},               {U"°F", "hua2 shi4 du4", -1},
    {U"°", "du4", -1},
};

constexpr Currency kCurrencies[] = {
    {U'¥', "yuan2", 2}, {U'$', "mei3 yuan2", 3}, {U'€', "ou1 yuan2", 1}, {U'£', "ying1 bang4", 1}};

// The next character that is not a separator, from `p` on.
std::size_t skip_separators(const std::vector<NormChar> &chars, std::size_t p) {
    while (p < chars.size() && chars[p].cls == CharClass::separator) ++p;
    return p;
}

// The index after the last character before `p` that is not a separator
// (nor, with `colons`, a colon); 0 when there is none.
std::size_t text_before(const std::vector<NormChar> &chars, std::size_t p, bool colons) {
    while (p > 0 && (chars[p - 1].cls == CharClass::separator || (colons && chars[p - 1].c == U':'))) --p;
    return p;
}

}  // namespace

bool matches(const std::vector<NormChar> &chars, std::size_t p, std::u32string_view word) {
    if (p + word.size() > chars.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k)
        if (chars[p + k].c != word[k]) return false;
    return true;
}

const Currency *currency_at(const std::vector<NormChar> &chars, std::size_t p) {
    for (const Currency &c : kCurrencies)
        if (char_at(chars, p) == c.sign) return &c;
    return nullptr;
}

const Unit *unit_at(const std::vector<NormChar> &chars, std::size_t p) {
    for (const Unit &u : kUnits) {  // longest first within each family
        if (!matches(chars, p, u.text)) continue;
        const char32_t last = u.text.back();
        const char32_t next = char_at(chars, p + u.text.size());
        if (is_ascii_letter(last) && (is_ascii_letter(next) || is_ascii_digit(next))) continue;  // 5mmol, 3m3
        return &u;
    }
    return nullptr;
}

const Measure *measure_after(const std::vector<NormChar> &chars, std::size_t p) {
    p = skip_separators(chars, p);
    for (const Measure &m : kMeasures)
        if (matches(chars, p, m.word)) return &m;
    return nullptr;
}

bool ordinal_before(const std::vector<NormChar> &chars, std::size_t p) {
    const std::size_t q = text_before(chars, p, false);
    return q > 0 && chars[q - 1].c == U'第';
}

bool code_word_before(const std::vector<NormChar> &chars, std::size_t p) {
    const std::size_t q = text_before(chars, p, true);
    for (std::u32string_view w : kCodeWords)
        if (q >= w.size() && matches(chars, q - w.size(), w)) return true;
    return false;
}

std::string unit_reading(std::u32string_view word) {
    for (const Unit &u : kUnits)
        if (u.text == word) return u.reading;
    return {};
}

}  // namespace speech::mandarin
