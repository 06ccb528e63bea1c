// SPDX-License-Identifier: Apache-2.0
#include "voice_reading.h"

#include <algorithm>

#include "digit_reading.h"

namespace speech {

std::string voice_reading_table(const SessionConfig &config, std::string_view text) {
    constexpr std::string_view kBlanks = " \t\n\r\f\v";
    std::string table;
    for (std::size_t begin = text.find_first_not_of(kBlanks); begin != std::string_view::npos;) {
        const std::size_t end = std::min(text.find_first_of(kBlanks, begin), text.size());
        const std::string token(text.substr(begin, end - begin));
        // As engine_segments gives it: rdn 2 spells the digits out.
        table += token + '\t' + config.engine_voice + ':' + (config.rdn == 2 ? spell_out_digits(token) : token) + '\n';
        begin = text.find_first_not_of(kBlanks, end);
    }
    return table;
}

}  // namespace speech
