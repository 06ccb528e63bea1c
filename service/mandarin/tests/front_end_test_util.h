// SPDX-License-Identifier: Apache-2.0
// Compact views of the front end's output for table-driven tests.
#ifndef SPEECH_MANDARIN_TESTS_FRONT_END_TEST_UTIL_H
#define SPEECH_MANDARIN_TESTS_FRONT_END_TEST_UTIL_H

#include <string>
#include <string_view>

#include "front_end.h"
#include "han_reader.h"

namespace speech::mandarin::testing {

// "TEXT:READING" of each token, joined by " / ".
inline std::string tokens_of(std::string_view text, int rdn) {
    std::string out;
    for (const Token &t : read_text(*default_lexicon(), text, static_cast<NumberMode>(rdn))) {
        if (!out.empty()) out += " / ";
        out.append(text.substr(t.begin, t.end - t.begin));
        out += ':';
        out += t.reading;
    }
    return out;
}

}  // namespace speech::mandarin::testing

#endif  // SPEECH_MANDARIN_TESTS_FRONT_END_TEST_UTIL_H
