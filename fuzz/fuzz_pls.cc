// SPDX-License-Identifier: Apache-2.0
// Pronunciation lexicons on any bytes: a lexicon either parses or is
// refused with a place; what parses is found again where its graphemes
// stand, and a match is always the text at that place.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pls_reader.h"
#include "user_lexicon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    speech::lexicons::UserLexicon lexicon;
    speech::xml::Error error;
    if (!speech::lexicons::read_pls(bytes, lexicon, error)) {
        if (error.message.empty() || error.line == 0) __builtin_trap();
        return 0;
    }
    // Look up every place of the input itself.
    speech::lexicons::Entry e;
    for (std::size_t pos = 0; pos < bytes.size(); ++pos) {
        if (!lexicon.longest_at(bytes, pos, e)) continue;
        if (e.grapheme.empty() || bytes.substr(pos, e.grapheme.size()) != e.grapheme) __builtin_trap();
        if (e.said.empty()) __builtin_trap();
    }
    return 0;
}
