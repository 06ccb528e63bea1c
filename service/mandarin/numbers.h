// SPDX-License-Identifier: Apache-2.0
// Mandarin readings of numbers and of the signs around them (dates, times,
// ratios, fractions, ranges, percent, currency and units), by the session's
// rdn: 0 by context, 1 every number as a value, 2 every digit string digit
// by digit.
#ifndef SPEECH_MANDARIN_NUMBERS_H
#define SPEECH_MANDARIN_NUMBERS_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "normalize.h"

namespace speech::mandarin {

enum class NumberMode { by_context = 0, values = 1, digits = 2 };

// The cardinal reading of a string of ASCII digits ("10000" -> "yi2 wan4",
// "1234567" -> "yi4 bai3 er4 shi2 san1 wan4 si4 qian1 wu3 bai3 liu4 shi2
// qi1"); digit by digit when it has more than 16 significant digits.
std::string cardinal(std::string_view digits);

// Each digit on its own; 1 as "yao1" when `yao` (phone numbers and codes),
// "yi1" otherwise.
std::string digit_by_digit(std::string_view digits, bool yao);

struct NumberReading {
    std::size_t length = 0;  // characters taken from the text; 0: no number here
    std::string reading;     // tone-numbered syllables separated by blanks
};

// Reads the number expression that starts at chars[i] (a digit, or a minus
// sign or currency sign before one), looking at the characters around it
// for context. Its length is 0 when no number starts there.
NumberReading read_number(const std::vector<NormChar> &chars, std::size_t i, NumberMode mode);

// True for a range sign (- ~ – —) between a number with its Han unit and
// the next number (3月-5月, 9点~17点, 3天—5天, 第3章-第5章): it is said 到,
// never a minus.
bool range_sign_after_unit(const std::vector<NormChar> &chars, std::size_t i);

// True for a currency, percent or per-mille sign written apart from its
// number by blanks (¥ 120, 5 %): the number's reading says it, as if they
// were joined, and the sign itself is not spoken.
bool said_with_number_apart(const std::vector<NormChar> &chars, std::size_t i);

// The Mandarin reading of a unit written apart from its number ("5 kg"),
// or an empty string for a word that is not one.
std::string unit_reading(std::u32string_view word);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_NUMBERS_H
