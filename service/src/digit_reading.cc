// SPDX-License-Identifier: Apache-2.0
#include "digit_reading.h"

namespace speech {

std::string spell_out_digits(const std::string &text) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (digit && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') out += ' ';
    }
    return out;
}

}  // namespace speech
