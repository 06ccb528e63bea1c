// SPDX-License-Identifier: Apache-2.0
// Rewrites a text so that the engine reads its numbers digit by digit.
#ifndef SPEECH_DIGIT_READING_H
#define SPEECH_DIGIT_READING_H

#include <string>

namespace speech {

// Separates consecutive ASCII digits by a blank: "1234" -> "1 2 3 4".
std::string spell_out_digits(const std::string &text);

}  // namespace speech

#endif  // SPEECH_DIGIT_READING_H
