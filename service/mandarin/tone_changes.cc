// SPDX-License-Identifier: Apache-2.0
// The tone changes written into the reading: 一 and 不 before a fourth tone
// (yi2, bu2) and 一 before the other tones (yi4), 一 read yi1 as a numeral
// or at the end of a phrase, and the neutral tones of the particles and
// suffixes. Third-tone sandhi is left to the engine.
#include <string>
#include <string_view>

#include "reading_context.h"

namespace speech::mandarin {

namespace {

bool is_digit_char(char32_t c) {
    return std::u32string_view(U"〇零一二三四五六七八九十两").find(c) != std::u32string_view::npos;
}

bool is_big_unit(char32_t c) { return c == U'百' || c == U'千' || c == U'万' || c == U'亿'; }

void set_tone(CharReading &cr, char tone) {
    if (cr.syllable.empty() || cr.syllable.back() == tone) return;
    cr.syllable.back() = tone;
    cr.source = Source::tone;
}

void set_syllable(CharReading &cr, const char *syllable) {
    if (cr.syllable == syllable) return;
    cr.syllable = syllable;
    cr.source = Source::tone;
}

// 一 keeps its first tone when it counts or orders: in a string of numerals
// (一九八四, 十一, 一一, 一 before digits), after 第 or 初, in dates (一月,
// 五月一日, 一号), word-finally (统一, 唯一), and ending a phrase.
bool yi_keeps_tone(const RunReading &run, std::size_t i) {
    const auto at = static_cast<std::ptrdiff_t>(i);
    const char32_t prev = run.seen(at - 1);
    const char32_t next = run.seen(at + 1);
    if (next == U'\0' || (i + 1 == run.size() && next == kSeenNumber)) return true;
    if (prev == U'第' || prev == U'初' || prev == U'周' || prev == U'月') return true;
    if (is_digit_char(next) && next != U'两') return true;
    if (is_digit_char(prev) || is_big_unit(prev)) return true;
    if (next == U'月' || next == U'号') return true;
    std::size_t length = run.word_length_at(i);
    if (length > 1 && run.chars[i].in_word == length - 1) return true;  // 统一 唯一 之一
    return false;
}

// X一X or X不X with X a word of its own or the three one word (看一看,
// 是不是), not the repeated measure word of 一个一个.
bool between_doubled_verb(const RunReading &run, std::size_t i) {
    if (i == 0 || i + 1 >= run.size() || run.at(i - 1) != run.at(i + 1)) return false;
    std::u32string word = run.word_of(i);
    return (run.single(i - 1) && run.single(i + 1)) ||
           (word.size() == 3 && run.chars[i].in_word == 1);
}

void change_yi(RunReading &run, std::size_t i) {
    CharReading &cr = run.chars[i];
    if (yi_keeps_tone(run, i)) {
        set_syllable(cr, "yi1");
        return;
    }
    // 看一看: between a doubled verb.
    if (between_doubled_verb(run, i)) {
        set_syllable(cr, "yi5");
        return;
    }
    const char next = run.tone_after(i);
    set_syllable(cr, next == '4' || next == '5' ? "yi2" : "yi4");
}

void change_bu(RunReading &run, std::size_t i) {
    CharReading &cr = run.chars[i];
    // 是不是, 好不好: the 不 of a question is light.
    if (between_doubled_verb(run, i)) {
        set_syllable(cr, "bu5");
        return;
    }
    set_syllable(cr, run.tone_after(i) == '4' ? "bu2" : "bu4");
}

bool is_particle(char32_t c) {
    return c == U'吗' || c == U'呢' || c == U'吧' || c == U'啊' || c == U'嘛' || c == U'呀' || c == U'啦';
}

}  // namespace

void apply_tone_changes(RunReading &run) {
    for (std::size_t i = 0; i < run.size(); ++i) {
        CharReading &cr = run.chars[i];
        const bool after_something = run.seen(static_cast<std::ptrdiff_t>(i) - 1) != U'\0';  // 你们, OK吗
        switch (cr.c) {
        case U'们':
            if (after_something) set_tone(cr, '5');
            break;
        case U'的':
            if (run.single(i)) set_syllable(cr, "de5");
            break;
        default:
            if (is_particle(cr.c) && run.single(i) && after_something) set_tone(cr, '5');
            break;
        }
    }
    // 一 and 不 after the neutral tones, since they look at the next tone.
    for (std::size_t i = run.size(); i-- > 0;) {
        if (run.chars[i].c == U'一')
            change_yi(run, i);
        else if (run.chars[i].c == U'不')
            change_bu(run, i);
    }
}

}  // namespace speech::mandarin
